// The spooler's journal file on Windows: in %ProgramData%\ticketflash, or where
// TICKETFLASH_JOURNAL_DIR says. A new journal is written through to the disk and then moved
// over the old one with a write-through move, so that either the old or the new one is there
// after any end.
#include "platform/journal_file.h"

#include <cstdio>
#include <windows.h>

static const char JOURNAL_NAME[] = "spooler-ports.journal";
static const char JOURNAL_TEMPORARY_NAME[] = "spooler-ports.journal.new";

// The value of an environment variable, false when it is unset, empty or too long.
static bool environmentText(const char* name, char* text, DWORD size) {
    DWORD length = GetEnvironmentVariableA(name, text, size);
    return length > 0 && length < size;
}

static bool journalFolder(char* folder, size_t size) {
    char base[MAX_PATH];
    int length;
    if (environmentText("TICKETFLASH_JOURNAL_DIR", base, sizeof base)) {
        length = snprintf(folder, size, "%s", base);
    } else if (environmentText("ProgramData", base, sizeof base)) {
        length = snprintf(folder, size, "%s\\ticketflash", base);
    } else {
        return false;
    }
    return length > 0 && static_cast<size_t>(length) < size;
}

static bool journalFile(const char* name, char* path, size_t size) {
    char folder[MAX_PATH];
    if (!journalFolder(folder, sizeof folder)) {
        return false;
    }
    int length = snprintf(path, size, "%s\\%s", folder, name);
    return length > 0 && static_cast<size_t>(length) < size;
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

static bool failWith(PlatformError* error, DWORD number) {
    reportPlatformError(error, number);
    return false;
}

static bool writeFlushed(const char* path, const char* text, uint32_t length) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool done = WriteFile(file, text, length, &written, nullptr) && written == length &&
                FlushFileBuffers(file);
    DWORD saved = GetLastError();
    CloseHandle(file);
    SetLastError(saved);
    return done;
}

bool writeJournalFile(const char* text, uint32_t length, PlatformError* error) {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    char temporary[MAX_PATH];
    if (!journalFolder(folder, sizeof folder) || !journalFile(JOURNAL_NAME, path, sizeof path) ||
        !journalFile(JOURNAL_TEMPORARY_NAME, temporary, sizeof temporary)) {
        return failWith(error, ERROR_FILENAME_EXCED_RANGE);
    }
    if (!makeFolder(folder)) {
        return failWith(error, GetLastError());
    }
    if (!writeFlushed(temporary, text, length) ||
        !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return failWith(error, GetLastError());
    }
    return true;
}

static bool absent(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool readJournalFile(char* buffer, uint32_t size, uint32_t* length, bool* present,
                     PlatformError* error) {
    *length = 0;
    *present = false;
    char path[MAX_PATH];
    if (!journalFile(JOURNAL_NAME, path, sizeof path)) {
        return failWith(error, ERROR_FILENAME_EXCED_RANGE);
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return absent(GetLastError()) ? true : failWith(error, GetLastError());
    }
    *present = true;
    LARGE_INTEGER fileSize;
    DWORD failure = 0;
    DWORD got = 0;
    if (!GetFileSizeEx(file, &fileSize)) {
        failure = GetLastError();
    } else if (fileSize.QuadPart > size) {
        failure = ERROR_FILE_TOO_LARGE;
    } else if (!ReadFile(file, buffer, static_cast<DWORD>(fileSize.QuadPart), &got, nullptr) ||
               got != fileSize.QuadPart) {
        failure = GetLastError() != 0 ? GetLastError() : ERROR_READ_FAULT;
    }
    CloseHandle(file);
    *length = failure == 0 ? got : 0;
    return failure == 0 ? true : failWith(error, failure);
}

bool removeJournalFile(PlatformError* error) {
    char path[MAX_PATH];
    if (!journalFile(JOURNAL_NAME, path, sizeof path)) {
        return failWith(error, ERROR_FILENAME_EXCED_RANGE);
    }
    if (!DeleteFileA(path) && !absent(GetLastError())) {
        return failWith(error, GetLastError());
    }
    return true;
}

void journalFilePath(char* path, uint32_t size) {
    if (!journalFile(JOURNAL_NAME, path, size) && size > 0) {
        snprintf(path, size, "%s", JOURNAL_NAME);
    }
}
