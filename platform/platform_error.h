#pragma once

#include <cstdint>

// An operating-system error number as it crosses the platform boundary: the Windows
// last-error code (or WSAGetLastError) on win32, errno on POSIX. Some messages print it.
typedef uint32_t PlatformError;

// Stores an error number where the caller asked for one (error may be null).
inline void reportPlatformError(PlatformError* error, PlatformError value) {
    if (error != nullptr) {
        *error = value;
    }
}
