// Process service on Linux: posix_spawn of /proc/self/exe into a process group of its own,
// with the two output streams on non-blocking pipes.
#include "platform/process.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// POSIX leaves declaring it to the program; glibc's <unistd.h> declares it only for _GNU_SOURCE.
extern char** environ; // NOLINT(readability-redundant-declaration)

namespace {

struct PosixChild {
    pid_t pid;
    int streams[2]; // the read ends: standard output, standard error; -1 once ended
    bool ended;
    int exitCode;
};

PosixChild* childOf(ChildHandle handle) {
    return reinterpret_cast<PosixChild*>(handle);
}

// The child starts with the default handling of the interrupts, which the parent may wait for
// on a thread of its own, with no signal blocked, and with SIGPIPE ignored: a child whose
// parent has gone must go on with its printer, its writes to the pipes failing instead of
// ending it in the middle of an image. An ignored signal stays ignored across exec, so the
// parent ignores SIGPIPE itself, and sees EPIPE on a closed pipe as well.
void resetSignals(posix_spawnattr_t* attributes) {
    signal(SIGPIPE, SIG_IGN);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int interrupt : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&defaults, interrupt);
    }
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(attributes, &defaults);
    posix_spawnattr_setsigmask(attributes, &none);
    posix_spawnattr_setpgroup(attributes, 0);
    posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                             POSIX_SPAWN_SETPGROUP);
}

// The pipes are close-on-exec, so that a child started later does not hold another child's
// pipe open; the child's own ends become its streams through dup2, which clears the flag.
bool spawnWithPipes(const char* const* arguments, int output[2], int errors[2], pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    resetSignals(&attributes);
    std::vector<char*> argv = {const_cast<char*>("ticketflash")};
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
        argv.push_back(const_cast<char*>(*argument));
    }
    argv.push_back(nullptr);
    int result = posix_spawn(pid, "/proc/self/exe", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    errno = result;
    return result == 0;
}

void closeBoth(int ends[2]) {
    for (int index = 0; index < 2; ++index) {
        if (ends[index] >= 0) {
            close(ends[index]);
        }
    }
}

ChildHandle posixStartSelf(const char* const* arguments, PlatformError* error) {
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    pid_t pid = -1;
    bool started = pipe2(output, O_CLOEXEC) == 0 && pipe2(errors, O_CLOEXEC) == 0 &&
                   spawnWithPipes(arguments, output, errors, &pid);
    int failure = errno;
    if (!started) {
        closeBoth(output);
        closeBoth(errors);
        reportErrno(error, failure);
        return NO_CHILD;
    }
    close(output[1]);
    close(errors[1]);
    fcntl(output[0], F_SETFL, O_NONBLOCK);
    fcntl(errors[0], F_SETFL, O_NONBLOCK);
    PosixChild* child = new (std::nothrow) PosixChild{pid, {output[0], errors[0]}, false, 0};
    if (child == nullptr) {
        // Followed no further: the child runs on and its pipes end with it.
        close(output[0]);
        close(errors[0]);
        reportErrno(error, ENOMEM);
        return NO_CHILD;
    }
    reportPlatformError(error, {});
    return reinterpret_cast<ChildHandle>(child);
}

int32_t posixReadChild(ChildHandle handle, ChildStream stream, char* buffer, uint32_t size) {
    int& descriptor = childOf(handle)->streams[stream];
    if (descriptor < 0) {
        return CHILD_STREAM_ENDED;
    }
    ssize_t count = read(descriptor, buffer, size);
    if (count > 0) {
        return static_cast<int32_t>(count);
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    close(descriptor);
    descriptor = -1;
    return CHILD_STREAM_ENDED;
}

bool posixChildEnded(ChildHandle handle, int* exitCode) {
    PosixChild* child = childOf(handle);
    int status = 0;
    if (!child->ended && waitpid(child->pid, &status, WNOHANG) == child->pid) {
        child->ended = true;
        child->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : CHILD_EXIT_ABNORMAL;
    }
    if (child->ended) {
        *exitCode = child->exitCode;
    }
    return child->ended;
}

bool posixInterruptChild(ChildHandle handle) {
    PosixChild* child = childOf(handle);
    return !child->ended && kill(child->pid, SIGINT) == 0;
}

void posixReleaseChild(ChildHandle handle) {
    PosixChild* child = childOf(handle);
    closeBoth(child->streams);
    delete child;
}

const ProcessService posixProcess = {
    .startSelf = posixStartSelf,
    .readChild = posixReadChild,
    .childEnded = posixChildEnded,
    .interruptChild = posixInterruptChild,
    .releaseChild = posixReleaseChild,
};

} // namespace

const ProcessService* processService = &posixProcess;
