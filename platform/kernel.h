#pragma once

// Kernel service: time, the diagnostic log, worker threads and the single-instance marker.
//
// Every fixed wait of the program goes through sleep(), so that tests can run the same code on
// a virtual clock. The OS backend (platform/win32/kernel.cpp or platform/posix/kernel.cpp) is
// installed at start; tests swap in their doubles through kernelService.

#include "platform/platform_error.h"

#include <cstdint>

struct KernelService {
    // Blocks the calling thread for the given number of milliseconds.
    void (*sleep)(uint32_t milliseconds);

    // Writes one diagnostic line. The line carries no line end of its own; the backend adds
    // whatever its stream needs. Safe to call from any thread.
    void (*debugLog)(const char* line);
};

extern const KernelService* kernelService;

// Convenience wrappers used by the portable code.
inline void sleepMilliseconds(uint32_t milliseconds) {
    kernelService->sleep(milliseconds);
}
inline void debugLog(const char* line) {
    kernelService->debugLog(line);
}

// Formats one diagnostic line into a 1024-byte buffer (cut, never overrun) and logs it.
// The format must be a constant of the program, never text that came from a printer.
void debugLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
