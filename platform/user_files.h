#pragma once

// User-file service: the files a user names on the command line, the fleet's inventory and the
// recording of --record. Only a regular file is taken: a FIFO, a device or a folder is refused
// at its open, and the open never waits (a FIFO would block it until a peer came), so a wrong
// name costs a message, never a hung run. Failures report their error (see platform_error.h);
// one the backend found itself (not a regular file, a file larger than the buffer) carries no
// system number.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// An open file to write, carried as an integer (a descriptor, a HANDLE).
typedef intptr_t UserFileHandle;
constexpr UserFileHandle NO_USER_FILE = -1;

struct UserFileService {
    DesignatedOnly designatedOnly{};

    // Reads the whole regular file into buffer (size bytes), its length into *length. Anything
    // but a regular file is PLATFORM_ERROR_INVALID, a file larger than size
    // PLATFORM_ERROR_TOO_LARGE, both without reading it.
    bool (*readWhole)(const char* path, char* buffer, uint32_t size, uint32_t* length,
                      PlatformError* error);

    // Opens the file for writing from its start, made when missing, emptied when it is a
    // regular file, refused (NO_USER_FILE) when it is anything else.
    UserFileHandle (*create)(const char* path, PlatformError* error);

    // Writes all the bytes at the end of what was written; false at the first failure (a full
    // disk, a file grown past its limit). Blocks on the disk alone.
    bool (*write)(UserFileHandle file, const char* bytes, uint32_t size, PlatformError* error);

    void (*close)(UserFileHandle file);
};

extern const UserFileService* userFileService;
