// Kernel service on Linux: nanosleep, and diagnostic lines on standard error when asked for
// (the environment variable TICKETFLASH_DEBUG_LOG set to anything but an empty text).
#include "platform/kernel.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

static void posixSleep(uint32_t milliseconds) {
    timespec remaining = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

static bool debugLogWanted() {
    static const bool wanted = [] {
        const char* setting = getenv("TICKETFLASH_DEBUG_LOG");
        return setting != nullptr && setting[0] != '\0';
    }();
    return wanted;
}

static void posixDebugLog(const char* line) {
    if (debugLogWanted()) {
        fprintf(stderr, "%s\n", line);
    }
}

static const KernelService posixKernel = {
    posixSleep,
    posixDebugLog,
};

const KernelService* kernelService = &posixKernel;
