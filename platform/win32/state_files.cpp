// State-file service on Windows: in %ProgramData%\ticketflash, or where the environment says.
// A new text is written through to the disk and moved over the old one with a write-through
// move, so that either the old or the new one is there after any end; an append is flushed
// before it returns.
#include "platform/state_files.h"

#include "platform/win32/file_io.h"
#include "platform/win32/win32_error.h"

#include <cstdio>
#include <windows.h>

static const char TEMPORARY_SUFFIX[] = ".new";

static bool fits(int length, size_t size) {
    return length > 0 && static_cast<size_t>(length) < size;
}

const char STATE_PATH_SEPARATOR = '\\';

bool systemStateFolder(char* folder, size_t size) {
    char base[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ProgramData", base, sizeof base);
    return length > 0 && length < sizeof base &&
           fits(snprintf(folder, size, "%s\\ticketflash", base), size);
}

static bool failWithLastError(PlatformError* error) {
    reportLastError(error);
    return false;
}

// Makes the folder and its missing parents. A parent that cannot be made (a drive's root, a
// share) shows in the last step's failure.
static bool makeFolder(const char* folder) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s", folder);
    for (char* at = path + 1; *at != '\0'; ++at) {
        if ((*at == '\\' || *at == '/') && at[-1] != ':') {
            char separator = *at;
            *at = '\0';
            CreateDirectoryA(path, nullptr);
            *at = separator;
        }
    }
    return CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Writes the whole text to a file opened for access with disposition, and flushes it. A link
// under the name is opened as itself and refused, never followed.
static bool writeFlushed(const char* path, DWORD access, DWORD disposition, const char* text,
                         uint32_t length, PlatformError* error) {
    HANDLE file = CreateFileA(path, access | FILE_READ_ATTRIBUTES, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return failWithLastError(error);
    }
    BY_HANDLE_FILE_INFORMATION information;
    DWORD written = 0;
    PlatformError failure;
    if (!GetFileInformationByHandle(file, &information)) {
        failure = win32Error(GetLastError());
    } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        failure = {PLATFORM_ERROR_INVALID, 0};
    } else if (!WriteFile(file, text, length, &written, nullptr) || written != length ||
               !FlushFileBuffers(file)) {
        failure = win32Error(GetLastError());
    }
    CloseHandle(file);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

static const DWORD MOVE_DURABLY = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

static bool win32Replace(const char* name, const char* text, uint32_t length,
                         PlatformError* error) {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    char temporary[MAX_PATH];
    if (!statePath(name, "", folder, path, sizeof path, error) ||
        !statePath(name, TEMPORARY_SUFFIX, folder, temporary, sizeof temporary, error)) {
        return false;
    }
    if (!makeFolder(folder)) {
        return failWithLastError(error);
    }
    if (!writeFlushed(temporary, GENERIC_WRITE, CREATE_ALWAYS, text, length, error)) {
        return false;
    }
    return MoveFileExA(temporary, path, MOVE_DURABLY) ? true : failWithLastError(error);
}

static bool win32Append(const char* name, const char* text, uint32_t length, PlatformError* error) {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    if (!makeFolder(folder)) {
        return failWithLastError(error);
    }
    return writeFlushed(path, FILE_APPEND_DATA, OPEN_ALWAYS, text, length, error);
}

static bool absent(DWORD number) {
    return number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND;
}

// Reads a whole file of at most size bytes from an open handle.
// A folder under the name does not open without FILE_FLAG_BACKUP_SEMANTICS: it is refused.
static bool win32Read(const char* name, char* buffer, uint32_t size, uint32_t* length,
                      bool* present, PlatformError* error) {
    *length = 0;
    *present = false;
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return absent(GetLastError()) ? true : failWithLastError(error);
    }
    *present = true;
    PlatformError failure = readWhole(file, buffer, size, length);
    CloseHandle(file);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

static bool win32Rename(const char* from, const char* to, PlatformError* error) {
    char folder[MAX_PATH];
    char fromPath[MAX_PATH];
    char toPath[MAX_PATH];
    if (!statePath(from, "", folder, fromPath, sizeof fromPath, error) ||
        !statePath(to, "", folder, toPath, sizeof toPath, error)) {
        return false;
    }
    return MoveFileExA(fromPath, toPath, MOVE_DURABLY) ? true : failWithLastError(error);
}

static bool win32Remove(const char* name, PlatformError* error) {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    if (!DeleteFileA(path) && !absent(GetLastError())) {
        return failWithLastError(error);
    }
    return true;
}

static const StateFileService win32StateFiles = {
    .read = win32Read,
    .replace = win32Replace,
    .append = win32Append,
    .rename = win32Rename,
    .remove = win32Remove,
    .path = showStatePath,
};

const StateFileService* stateFileService = &win32StateFiles;
