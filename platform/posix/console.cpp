// Console service on Linux: isatty, read(2) on standard input, and SIGINT, SIGTERM and SIGHUP
// taken by one sigwait thread, so that the handler may do anything an ordinary thread does.
// SIGPIPE is ignored: a reader of standard output that goes away (`| head`) makes writes fail,
// and must never end the program while it writes a printer's firmware.
#include "platform/console.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

static bool posixIsTerminal(ConsoleStream stream) {
    static const int descriptors[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    return isatty(descriptors[stream]) == 1;
}

// Byte by byte, so that nothing after the line end is taken from the input.
static bool readInputByte(char* byte) {
    for (;;) {
        ssize_t count = read(STDIN_FILENO, byte, 1);
        if (count == 1) {
            return true;
        }
        if (count == 0 || errno != EINTR) {
            return false;
        }
    }
}

static bool posixReadLine(char* buffer, uint32_t size) {
    return assembleConsoleLine(readInputByte, buffer, size);
}

static sigset_t interruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // A terminal that hangs up (a dropped SSH session) asks for the end as SIGTERM does.
    sigaddset(&signals, SIGHUP);
    return signals;
}

static void* waitForInterrupts(void* argument) {
    ConsoleInterruptHandler handler = reinterpret_cast<ConsoleInterruptHandler>(argument);
    sigset_t signals = interruptSignals();
    for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) != 0) {
            continue;
        }
        handler(received == SIGINT ? CONSOLE_INTERRUPT_KEYBOARD : CONSOLE_INTERRUPT_TERMINATE);
    }
    return nullptr;
}

static bool posixWatchInterrupts(ConsoleInterruptHandler handler, PlatformError* error) {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
        reportErrno(error, errno);
        return false;
    }
    sigset_t signals = interruptSignals();
    int failure = pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    pthread_t watcher;
    if (failure == 0) {
        failure =
            pthread_create(&watcher, nullptr, waitForInterrupts, reinterpret_cast<void*>(handler));
    }
    if (failure != 0) {
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        reportErrno(error, failure);
        return false;
    }
    pthread_detach(watcher);
    return true;
}

static const ConsoleService posixConsole = {
    .isTerminal = posixIsTerminal,
    .enableEscapes = posixIsTerminal,
    .readLine = posixReadLine,
    .watchInterrupts = posixWatchInterrupts,
};

const ConsoleService* consoleService = &posixConsole;
