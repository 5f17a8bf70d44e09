#pragma once

// Whole-file reads on open handles, for the Windows backends that keep files.

#include "platform/platform_error.h"

#include <cstdint>
#include <windows.h>

// Reads the whole file open on file into buffer (size bytes); a larger file is
// PLATFORM_ERROR_TOO_LARGE.
PlatformError readWhole(HANDLE file, char* buffer, uint32_t size, uint32_t* length);
