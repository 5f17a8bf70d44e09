#pragma once

// Whole-file reads and writes on open descriptors, for the Linux backends that keep files.

#include "platform/platform_error.h"

#include <cstdint>

// Writes all of text, going on after a short write; false with errno set at a failure.
bool writeAll(int descriptor, const char* text, uint32_t length);

// Reads the whole regular file open on descriptor into buffer (size bytes): anything else is
// PLATFORM_ERROR_INVALID, a larger file PLATFORM_ERROR_TOO_LARGE.
PlatformError readWhole(int descriptor, char* buffer, uint32_t size, uint32_t* length);
