// Kernel service on Linux: nanosleep, diagnostic lines on standard error when asked for (the
// environment variable TICKETFLASH_DEBUG_LOG set to anything but an empty text), lock files
// held with flock as markers, and detached pthreads as worker threads.
#include "platform/kernel.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static void posixSleep(uint32_t milliseconds) {
    timespec remaining = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

static bool posixDebugLogWanted() {
    static const bool wanted = [] {
        const char* setting = getenv("TICKETFLASH_DEBUG_LOG");
        return setting != nullptr && setting[0] != '\0';
    }();
    return wanted;
}

static void posixDebugLog(const char* line) {
    if (posixDebugLogWanted()) {
        fprintf(stderr, "%s\n", line);
    }
}

// The lock folder: the machine's (/run/lock) for root, since the printers and the spooler are
// the machine's; else the user's runtime folder, else /tmp. TICKETFLASH_LOCK_DIR names
// another, for tests.
static const char* lockFolder() {
    const char* chosen = getenv("TICKETFLASH_LOCK_DIR");
    if (chosen != nullptr && chosen[0] != '\0') {
        return chosen;
    }
    if (geteuid() == 0) {
        return "/run/lock";
    }
    chosen = getenv("XDG_RUNTIME_DIR");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : "/tmp";
}

static bool markerPath(const char* name, char* path, size_t size) {
    int length = snprintf(path, size, "%s/%s.lock", lockFolder(), name);
    return length > 0 && static_cast<size_t>(length) < size;
}

// Opens the lock file read-only, never through a symbolic link, and never waiting (a FIFO
// would block an open without O_NONBLOCK until a writer came). An existing file is opened
// without O_CREAT first, since in a sticky world-writable directory such as /tmp the kernel
// may refuse O_CREAT on a file that another user made.
static int openMarkerFile(const char* path) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int descriptor = open(path, flags);
    if (descriptor < 0 && errno == ENOENT) {
        descriptor = open(path, flags | O_CREAT, 0644);
    }
    return descriptor;
}

// Only a regular file of this user's or root's is a lock: anything else (a FIFO, a device)
// locks nothing, and a file of another user would let that user keep every run out.
static PlatformError checkMarkerFile(int descriptor) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        return errnoError(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return {PLATFORM_ERROR_INVALID, 0};
    }
    if (status.st_uid != geteuid() && status.st_uid != 0) {
        return {PLATFORM_ERROR_PERMISSION_DENIED, 0};
    }
    return {};
}

// The lock lives as long as the open file, so the kernel drops it when the process ends in
// whatever way. The file itself stays: removing it would let two processes lock two different
// files of the same name. The handle is the descriptor plus one, so that no handle is
// NO_MARKER.
static MarkerHandle posixCreateMarker(const char* name, PlatformError* error) {
    char path[PATH_MAX];
    if (!markerPath(name, path, sizeof path)) {
        reportPlatformError(error, {PLATFORM_ERROR_TOO_LARGE, 0});
        return NO_MARKER;
    }
    int descriptor = openMarkerFile(path);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return NO_MARKER;
    }
    PlatformError failure = checkMarkerFile(descriptor);
    if (!platformFailed(failure) && flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        failure = lockError(errno);
    }
    reportPlatformError(error, failure);
    if (platformFailed(failure) && failure.kind != PLATFORM_ERROR_ALREADY_EXISTS) {
        close(descriptor);
        return NO_MARKER;
    }
    return descriptor + 1;
}

static void posixReleaseMarker(MarkerHandle marker) {
    close(static_cast<int>(marker - 1));
}

// The smallest worker stack handed out here. A Windows thread of 16 KB runs in a stack of its
// own; a glibc thread carries its static TLS and guard in the same block, and formats every
// diagnostic line to the unbuffered standard error through an 8 KB buffer on the stack. With
// the log on, the flash writer overflows 16 KB in that formatting, with or without
// AddressSanitizer, whose red zones grow every frame besides. 256 KB keeps all of that safe and
// is still a thirty-second of the default.
static const size_t WORKER_STACK_FLOOR = size_t{256} * 1024;

// Nice value of a worker: one step above normal.
static const int WORKER_NICE = -1;

struct WorkerStart {
    ThreadBody body;
    void* argument;
};

static void* runWorker(void* start) {
    WorkerStart work = *static_cast<WorkerStart*>(start);
    delete static_cast<WorkerStart*>(start);
    // Linux keeps a nice value per thread; lowering it needs a privilege most users lack, and
    // the worker runs as well at normal priority, so a refusal is ignored.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), WORKER_NICE);
    work.body(work.argument);
    return nullptr;
}

static size_t workerStackSize(uint32_t stackBytes) {
    size_t size = stackBytes;
    long systemMinimum = sysconf(_SC_THREAD_STACK_MIN);
    if (systemMinimum > 0 && size < static_cast<size_t>(systemMinimum)) {
        size = static_cast<size_t>(systemMinimum);
    }
    return size < WORKER_STACK_FLOOR ? WORKER_STACK_FLOOR : size;
}

static bool posixStartThread(ThreadBody body, void* argument, uint32_t stackBytes,
                             PlatformError* error) {
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result != 0) {
        reportErrno(error, result);
        return false;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    result = pthread_attr_setstacksize(&attributes, workerStackSize(stackBytes));
    WorkerStart* start = new (std::nothrow) WorkerStart{body, argument};
    if (start == nullptr) {
        result = ENOMEM;
    }
    pthread_t thread;
    if (result == 0) {
        result = pthread_create(&thread, &attributes, runWorker, start);
    }
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete start;
        reportErrno(error, result);
        return false;
    }
    return true;
}

static const KernelService posixKernel = {
    .sleep = posixSleep,
    .debugLog = posixDebugLog,
    .debugLogWanted = posixDebugLogWanted,
    .createMarker = posixCreateMarker,
    .releaseMarker = posixReleaseMarker,
    .startThread = posixStartThread,
};

const KernelService* kernelService = &posixKernel;
