#pragma once

// Windows error numbers as the Windows backends report them: GetLastError's and the Windows
// Sockets' (WSAGetLastError, from 10000 on, which no GetLastError number shares), sorted into a
// kind, the number kept.

#include "platform/platform_error.h"

#include <cstdint>

// The error of a failed call that left this number. A number of no kind known here, and 0 (a
// failure that left none), are PLATFORM_ERROR_OTHER.
PlatformError win32Error(uint32_t number);

// Stores win32Error of GetLastError(), or of WSAGetLastError(), where the caller asked for an
// error (error may be null).
void reportLastError(PlatformError* error);
void reportSocketError(PlatformError* error);
