// Kernel service on Linux: nanosleep, diagnostic lines on standard error when asked for (the
// environment variable TICKETFLASH_DEBUG_LOG set to anything but an empty text), lock files
// held with flock as markers, and detached pthreads as worker threads.
#include "platform/kernel.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <pwd.h>
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

// The user's folder in /tmp, "/tmp/ticketflash-UID".
static bool userTmpFolder(char* folder, size_t size) {
    int length = snprintf(folder, size, "/tmp/ticketflash-%u", static_cast<unsigned>(geteuid()));
    return length > 0 && static_cast<size_t>(length) < size;
}

// The lock folder: the machine's (/run/lock) for root, since the printers and the spooler are
// the machine's; else the user's runtime folder, else a folder of the user's own in /tmp, so
// that no user's lock can keep another user's runs out. TICKETFLASH_LOCK_DIR names another,
// for tests.
static bool lockFolder(char* folder, size_t size) {
    const char* chosen = getenv("TICKETFLASH_LOCK_DIR");
    if (chosen == nullptr || chosen[0] == '\0') {
        chosen = geteuid() == 0 ? "/run/lock" : getenv("XDG_RUNTIME_DIR");
    }
    if (chosen == nullptr || chosen[0] == '\0') {
        return userTmpFolder(folder, size);
    }
    int length = snprintf(folder, size, "%s", chosen);
    return length > 0 && static_cast<size_t>(length) < size;
}

// The user's folder in /tmp, made when missing; one that is not a folder of this user's, or
// that others may write to, would let them take or remove the user's locks: it is refused.
static PlatformError checkUserLockFolder(const char* folder) {
    char own[64];
    if (!userTmpFolder(own, sizeof own) || strcmp(folder, own) != 0) {
        return {};
    }
    if (mkdir(folder, 0700) != 0 && errno != EEXIST) {
        return errnoError(errno);
    }
    struct stat status;
    if (lstat(folder, &status) != 0) {
        return errnoError(errno);
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & 022) != 0) {
        return {PLATFORM_ERROR_PERMISSION_DENIED, 0};
    }
    return {};
}

static bool markerPath(const char* name, char* path, size_t size) {
    char folder[PATH_MAX];
    if (!lockFolder(folder, sizeof folder)) {
        return false;
    }
    int length = snprintf(path, size, "%s/%s.lock", folder, name);
    return length > 0 && static_cast<size_t>(length) < size;
}

// Opens the lock file, never through a symbolic link, and never waiting (a FIFO would block an
// open without O_NONBLOCK until a writer came). An existing file is opened without O_CREAT
// first, since in a sticky world-writable directory such as /tmp the kernel may refuse O_CREAT
// on a file that another user made.
static int openMarkerFile(const char* path) {
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
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

// Whether the locked file is still the one the path names: its holder removes it while it
// holds it, so a file locked after that is gone from the folder and locks nothing.
static bool stillNamed(int descriptor, const char* path) {
    struct stat opened;
    struct stat named;
    return fstat(descriptor, &opened) == 0 && stat(path, &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The markers this process holds, by descriptor, with the path that a release removes.
struct HeldMarker {
    int descriptor;
    char path[PATH_MAX];
};
static const int HELD_MARKER_LIMIT = 8;
static HeldMarker heldMarkers[HELD_MARKER_LIMIT];
static pthread_mutex_t heldMarkersMutex = PTHREAD_MUTEX_INITIALIZER;

// Keeps the lock's path for its release and writes the holder's process id in the file, for a
// refused run to name. A marker beyond the table still locks; only its file stays behind.
static void keepHeldMarker(int descriptor, const char* path) {
    char text[32];
    int length = snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(descriptor, 0) == 0) {
        (void)!pwrite(descriptor, text, static_cast<size_t>(length), 0);
    }
    pthread_mutex_lock(&heldMarkersMutex);
    for (HeldMarker& held : heldMarkers) {
        if (held.path[0] == '\0') {
            held.descriptor = descriptor;
            snprintf(held.path, sizeof held.path, "%s", path);
            break;
        }
    }
    pthread_mutex_unlock(&heldMarkersMutex);
}

// One attempt: the descriptor, locked or not, with the outcome in *failure; -1 when the file
// could not be opened or is no lock. *moved when the file locked was removed meanwhile.
static int lockMarkerFile(const char* path, PlatformError* failure, bool* moved) {
    *moved = false;
    int descriptor = openMarkerFile(path);
    if (descriptor < 0) {
        *failure = errnoError(errno);
        return -1;
    }
    *failure = checkMarkerFile(descriptor);
    if (!platformFailed(*failure) && flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        *failure = lockError(errno);
    }
    *moved = !platformFailed(*failure) && !stillNamed(descriptor, path);
    if (*moved || (platformFailed(*failure) && failure->kind != PLATFORM_ERROR_ALREADY_EXISTS)) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

// The lock lives as long as the open file, so the kernel drops it when the process ends in
// whatever way; the file goes at the release. The handle is the descriptor plus one, so that
// no handle is NO_MARKER.
static MarkerHandle posixCreateMarker(const char* name, PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    if (!lockFolder(folder, sizeof folder) || !markerPath(name, path, sizeof path)) {
        reportPlatformError(error, {PLATFORM_ERROR_TOO_LARGE, 0});
        return NO_MARKER;
    }
    PlatformError failure = checkUserLockFolder(folder);
    int descriptor = -1;
    bool moved = true;
    // A file removed between our open and our lock is opened again; a few times at most.
    for (int attempt = 0; attempt < 4 && moved && !platformFailed(failure); ++attempt) {
        descriptor = lockMarkerFile(path, &failure, &moved);
    }
    if (moved && !platformFailed(failure)) {
        failure = {PLATFORM_ERROR_ALREADY_EXISTS, 0};
    }
    reportPlatformError(error, failure);
    if (descriptor < 0) {
        return NO_MARKER;
    }
    if (!platformFailed(failure)) {
        keepHeldMarker(descriptor, path);
    }
    return descriptor + 1;
}

static void posixReleaseMarker(MarkerHandle marker) {
    int descriptor = static_cast<int>(marker - 1);
    pthread_mutex_lock(&heldMarkersMutex);
    for (HeldMarker& held : heldMarkers) {
        if (held.path[0] != '\0' && held.descriptor == descriptor) {
            unlink(held.path);
            held.path[0] = '\0';
        }
    }
    pthread_mutex_unlock(&heldMarkersMutex);
    close(descriptor);
}

// The user a process runs as, by the owner of its /proc entry.
static void processUser(uint32_t processId, char* user, size_t size) {
    char entry[32];
    snprintf(entry, sizeof entry, "/proc/%u", processId);
    struct stat status;
    if (stat(entry, &status) != 0) {
        return;
    }
    passwd record;
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(status.st_uid, &record, buffer, sizeof buffer, &found) == 0 &&
        found != nullptr) {
        snprintf(user, size, "%s", found->pw_name);
    } else {
        snprintf(user, size, "uid %u", static_cast<unsigned>(status.st_uid));
    }
}

static void posixMarkerHolder(const char* name, MarkerHolder* holder) {
    *holder = MarkerHolder{};
    if (!markerPath(name, holder->place, sizeof holder->place)) {
        return;
    }
    int descriptor = open(holder->place, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    char text[32] = {};
    ssize_t got = pread(descriptor, text, sizeof text - 1, 0);
    close(descriptor);
    unsigned long processId = got > 0 ? strtoul(text, nullptr, 10) : 0;
    if (processId > 0 && processId <= UINT32_MAX) {
        holder->processId = static_cast<uint32_t>(processId);
        processUser(holder->processId, holder->user, sizeof holder->user);
    }
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
    .markerHolder = posixMarkerHolder,
    .startThread = posixStartThread,
};

const KernelService* kernelService = &posixKernel;
