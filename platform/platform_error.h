#pragma once

// A failure as it crosses the platform boundary: what kind of failure it is, which the portable
// code decides by, and the system's own number, which some messages print. Each backend sorts
// its system's numbers into kinds where it reports them (platform/posix/errno_error.h,
// platform/win32/win32_error.h), so that no code above the platform layer compares a number of
// one system.

#include <cstddef>
#include <cstdint>

enum PlatformErrorKind : uint8_t {
    PLATFORM_ERROR_NONE,
    PLATFORM_ERROR_NOT_FOUND, // no such device, file or printer
    PLATFORM_ERROR_PERMISSION_DENIED,
    PLATFORM_ERROR_ALREADY_EXISTS, // held by another: a marker, a lock, a device in use
    PLATFORM_ERROR_REFUSED,        // the printer refused the connection
    PLATFORM_ERROR_TIMED_OUT,
    PLATFORM_ERROR_UNREACHABLE, // no route to the printer's network or address
    PLATFORM_ERROR_CLOSED,      // closed or reset by the printer
    PLATFORM_ERROR_STALLED,     // a write the device took nothing of, with no system error
    PLATFORM_ERROR_NOT_SUPPORTED,
    PLATFORM_ERROR_INVALID,   // a request the system or the program refuses as malformed
    PLATFORM_ERROR_TOO_LARGE, // more than a buffer, a file or a path may hold
    PLATFORM_ERROR_NO_SPACE,  // the disk is full
    PLATFORM_ERROR_OTHER,
};

struct PlatformError {
    PlatformErrorKind kind = PLATFORM_ERROR_NONE;
    // The system's own: errno, GetLastError or WSAGetLastError; 0 when the program found the
    // fault itself (a time-out it decided, a file that is not a regular one, a stalled write).
    uint32_t number = 0;

    bool operator==(const PlatformError&) const = default;
};

// Stores an error where the caller asked for one (error may be null).
inline void reportPlatformError(PlatformError* error, PlatformError value) {
    if (error != nullptr) {
        *error = value;
    }
}

// Whether the error tells of a failure.
inline bool platformFailed(PlatformError error) {
    return error.kind != PLATFORM_ERROR_NONE;
}

// The error of a failed call of the C library (fopen and its kin) that left this errno value,
// whose numbers are the system's on Linux and the C runtime's own on Windows: each backend
// sorts them (platform/posix/errno_error.cpp, platform/win32/win32_error.cpp).
PlatformError cLibraryError(int number);

// Room for every description.
constexpr size_t PLATFORM_ERROR_TEXT_SIZE = 64;

// Writes the kind in words and the system's number, "connection refused (111)"; without a
// number the words alone, "the printer took nothing". Cut to size, never overrun.
void describePlatformError(PlatformError error, char* text, size_t size);

// The kind as one word for machine-read reports (JSON): "refused", "timed-out", "closed", ...
const char* platformErrorKindName(PlatformErrorKind kind);
