// Kernel service on Linux: nanosleep, diagnostic lines on standard error when asked for (the
// environment variable TICKETFLASH_DEBUG_LOG set to anything but an empty text), a lock file
// held with flock as the single-instance marker, and detached pthreads as worker threads.
#include "platform/kernel.h"

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

// The lock file's path: the marker's name in the user's runtime directory, else in /tmp.
static bool markerPath(const char* name, char* path, size_t size) {
    const char* directory = getenv("XDG_RUNTIME_DIR");
    if (directory == nullptr || directory[0] == '\0') {
        directory = "/tmp";
    }
    int length = snprintf(path, size, "%s/%s.lock", directory, name);
    return length > 0 && static_cast<size_t>(length) < size;
}

// Opens the lock file read-only, never through a symbolic link. An existing file is opened
// without O_CREAT first, since in a sticky world-writable directory such as /tmp the kernel
// may refuse O_CREAT on a file that another user made.
static int openMarkerFile(const char* path) {
    int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0 && errno == ENOENT) {
        descriptor = open(path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    return descriptor;
}

// The lock lives as long as the open file, so the kernel drops it when the process ends in
// whatever way. The file itself stays: removing it would let two processes lock two different
// files of the same name. The handle is the descriptor plus one, so that no handle is
// NO_MARKER.
static MarkerHandle posixCreateMarker(const char* name, PlatformError* error) {
    char path[PATH_MAX];
    if (!markerPath(name, path, sizeof path)) {
        reportPlatformError(error, ENAMETOOLONG);
        return NO_MARKER;
    }
    int descriptor = openMarkerFile(path);
    if (descriptor < 0) {
        reportPlatformError(error, errno);
        return NO_MARKER;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
        reportPlatformError(error, 0);
    } else if (errno == EWOULDBLOCK) {
        reportPlatformError(error, PLATFORM_ERROR_ALREADY_EXISTS);
    } else {
        reportPlatformError(error, errno);
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
static const size_t WORKER_STACK_FLOOR = 256 * 1024;

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
        reportPlatformError(error, static_cast<PlatformError>(result));
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
        reportPlatformError(error, static_cast<PlatformError>(result));
        return false;
    }
    return true;
}

static const KernelService posixKernel = {
    posixSleep,        posixDebugLog,      posixDebugLogWanted,
    posixCreateMarker, posixReleaseMarker, posixStartThread,
};

const KernelService* kernelService = &posixKernel;
