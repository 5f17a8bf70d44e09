#pragma once

// Kernel service: time, the diagnostic log, worker threads and the single-instance marker.
//
// Every fixed wait of the program goes through sleep(), so that tests can run the same code on
// a virtual clock. The OS backend (platform/win32/kernel.cpp or platform/posix/kernel.cpp) is
// installed at start; tests swap in their doubles through kernelService.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// A single-instance marker (a mutex HANDLE on Windows), carried as an integer.
typedef intptr_t MarkerHandle;
constexpr MarkerHandle NO_MARKER = 0;

// Who holds a marker, as markerHolder finds it.
struct MarkerHolder {
    char place[256];    // the lock file, or the mutex's name
    uint32_t processId; // 0 when not known
    char user[64];      // empty when not known
};

// The body of a worker thread; it receives the argument given to startThread.
typedef void (*ThreadBody)(void* argument);

struct KernelService {
    DesignatedOnly designatedOnly{};

    // Blocks the calling thread for the given number of milliseconds.
    void (*sleep)(uint32_t milliseconds);

    // Writes one diagnostic line. The line carries no line end of its own; the backend adds
    // whatever its stream needs. Safe to call from any thread.
    void (*debugLog)(const char* line);

    // Whether diagnostic lines go anywhere. When they don't, a line need not be composed: the
    // flash writer logs every block it sends, and formatting lines nobody reads would slow it.
    bool (*debugLogWanted)();

    // Creates the system-wide marker of this name, which tells other processes that one of the
    // family runs (or, under other names, that one holds some other thing of the machine): a
    // named mutex without initial owner on Windows; on Linux the lock file NAME.lock held with
    // flock, in the lock folder: /run/lock for root, else $XDG_RUNTIME_DIR, else the user's own
    // /tmp/ticketflash-UID (made 0700 when missing, and refused unless it is a folder of this
    // user's that no one else may write to), or the folder TICKETFLASH_LOCK_DIR names. A Linux
    // lock file is opened without following a symbolic link and without waiting, and must be a
    // regular file owned by the user or root: anything else fails. Its holder writes its process
    // id in it. The marker disappears when its process ends, however it ends.
    // Always stores the outcome of the creation in *error: no error when the marker is new; the
    // kind PLATFORM_ERROR_ALREADY_EXISTS when another holder has it (number 183,
    // ERROR_ALREADY_EXISTS, on Windows and EWOULDBLOCK on Linux; the handle then returned holds
    // nothing on Linux, and only keeps the existing mutex open on Windows); any other error
    // when it failed (the handle is then NO_MARKER).
    MarkerHandle (*createMarker)(const char* name, PlatformError* error);

    // Releases a marker handle from createMarker. On Linux a handle that holds its lock removes
    // the lock file first, while it still holds it: a run that opened the file meanwhile finds,
    // once it has the lock, that the file is no longer the one of that name, and makes anew.
    void (*releaseMarker)(MarkerHandle marker);

    // Who holds the marker of this name, for a refusal to say: where it lives (the lock file's
    // path on Linux, the mutex's name on Windows), and the holder's process id and user name
    // where the system tells them (0 and an empty text when it does not). Reads only.
    void (*markerHolder)(const char* name, MarkerHolder* holder);

    // Starts a worker thread that runs body(argument) at once, with a stack of stackBytes
    // (Windows reserves exactly that; Linux never gives less than its own floor, see
    // platform/posix/kernel.cpp) at above-normal priority where the system allows it: a refusal
    // of the priority is ignored. The thread is detached: nobody joins it, it ends with its body.
    // False, with the error in *error, when the thread could not be created.
    bool (*startThread)(ThreadBody body, void* argument, uint32_t stackBytes, PlatformError* error);
};

extern const KernelService* kernelService;

// Convenience wrappers used by the portable code.
inline void sleepMilliseconds(uint32_t milliseconds) {
    kernelService->sleep(milliseconds);
}
inline void debugLog(const char* line) {
    kernelService->debugLog(line);
}

// Formats one diagnostic line into a 1024-byte buffer (cut, never overrun) and logs it, when
// lines are wanted at all.
// The format must be a constant of the program, never text that came from a printer.
void debugLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Logs that an operation of a platform service failed, with the error described, as
// "<operation> <subject> failed: permission denied (13)" (without the subject when it is null),
// so that a refusal such as a device the user may not read shows in the log and not only as
// "not found". operation is a constant of the program; subject (a path, an address) may be any
// text.
void debugLogFailure(const char* operation, const char* subject, PlatformError error);
