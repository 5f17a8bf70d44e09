// User-file service on Windows: a file is taken only when GetFileType says it is on a disk, so
// that a pipe, a console or a device under the name is refused; CreateFileA itself never
// waits for a pipe's server.
#include "platform/user_files.h"

#include "platform/win32/file_io.h"
#include "platform/win32/win32_error.h"

#include <windows.h>

static HANDLE openDiskFile(const char* path, DWORD access, DWORD disposition,
                           PlatformError* error) {
    HANDLE file = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reportPlatformError(error, win32Error(GetLastError()));
        return INVALID_HANDLE_VALUE;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

static bool win32ReadWhole(const char* path, char* buffer, uint32_t size, uint32_t* length,
                           PlatformError* error) {
    *length = 0;
    HANDLE file = openDiskFile(path, GENERIC_READ, OPEN_EXISTING, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    PlatformError failure = readWhole(file, buffer, size, length);
    CloseHandle(file);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

// OPEN_ALWAYS and then SetEndOfFile, so that only a file found to be on a disk is emptied.
static UserFileHandle win32Create(const char* path, PlatformError* error) {
    HANDLE file = openDiskFile(path, GENERIC_WRITE, OPEN_ALWAYS, error);
    if (file == INVALID_HANDLE_VALUE) {
        return NO_USER_FILE;
    }
    if (!SetEndOfFile(file)) {
        reportPlatformError(error, win32Error(GetLastError()));
        CloseHandle(file);
        return NO_USER_FILE;
    }
    return reinterpret_cast<UserFileHandle>(file);
}

static bool win32Write(UserFileHandle file, const char* bytes, uint32_t size,
                       PlatformError* error) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes, size, &written, nullptr) ||
            written == 0) {
            reportPlatformError(error, win32Error(GetLastError()));
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

static void win32Close(UserFileHandle file) {
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

static const UserFileService win32UserFiles = {
    .readWhole = win32ReadWhole,
    .create = win32Create,
    .write = win32Write,
    .close = win32Close,
};

const UserFileService* userFileService = &win32UserFiles;
