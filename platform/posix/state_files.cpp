// State-file service on Linux: in /var/lib/ticketflash for root, else in the user's state
// folder, or where the environment says. Every change reaches the disk before the call
// returns: a file's data before the rename that publishes it, the folder's entry after it.
#include "platform/state_files.h"

#include "platform/posix/errno_error.h"
#include "platform/posix/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const char TEMPORARY_SUFFIX[] = ".new";

static bool nonEmpty(const char* text) {
    return text != nullptr && text[0] != '\0';
}

static bool fits(int length, size_t size) {
    return length > 0 && static_cast<size_t>(length) < size;
}

const char STATE_PATH_SEPARATOR = '/';

// The machine's state folder for root, the user's own otherwise.
bool systemStateFolder(char* folder, size_t size) {
    if (geteuid() == 0) {
        return fits(snprintf(folder, size, "/var/lib/ticketflash"), size);
    }
    if (nonEmpty(getenv("XDG_STATE_HOME"))) {
        return fits(snprintf(folder, size, "%s/ticketflash", getenv("XDG_STATE_HOME")), size);
    }
    if (nonEmpty(getenv("HOME"))) {
        return fits(snprintf(folder, size, "%s/.local/state/ticketflash", getenv("HOME")), size);
    }
    return false;
}

static bool failWithErrno(PlatformError* error) {
    reportErrno(error, errno);
    return false;
}

// Makes the folder and its missing parents; the user's state folders are the user's alone.
static bool makeFolder(const char* folder) {
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s", folder);
    for (char* slash = strchr(path + 1, '/');; slash = strchr(slash + 1, '/')) {
        if (slash != nullptr) {
            *slash = '\0';
        }
        if (mkdir(path, geteuid() == 0 ? 0755 : 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == nullptr) {
            return true;
        }
        *slash = '/';
    }
}

static bool flushFolder(const char* folder) {
    int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    bool flushed = fsync(descriptor) == 0;
    close(descriptor);
    return flushed;
}

// Writes the whole text to a file opened with these flags and flushes it; a FIFO, a device or a
// folder under the name is refused (O_NONBLOCK keeps the open of a FIFO from waiting for a
// reader). The error is in *error.
static bool writeFlushed(const char* path, int flags, const char* text, uint32_t length,
                         PlatformError* error) {
    int descriptor = open(path, flags | O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return failWithErrno(error);
    }
    struct stat status;
    bool known = fstat(descriptor, &status) == 0;
    PlatformError failure;
    if (known && !S_ISREG(status.st_mode)) {
        failure = {PLATFORM_ERROR_INVALID, 0};
    } else if (!known || !writeAll(descriptor, text, length) || fsync(descriptor) != 0) {
        failure = errnoError(errno);
    }
    close(descriptor);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

static bool posixReplace(const char* name, const char* text, uint32_t length,
                         PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    char temporary[PATH_MAX];
    if (!statePath(name, "", folder, path, sizeof path, error) ||
        !statePath(name, TEMPORARY_SUFFIX, folder, temporary, sizeof temporary, error)) {
        return false;
    }
    if (!makeFolder(folder)) {
        return failWithErrno(error);
    }
    if (!writeFlushed(temporary, O_CREAT | O_TRUNC, text, length, error)) {
        return false;
    }
    if (rename(temporary, path) != 0 || !flushFolder(folder)) {
        return failWithErrno(error);
    }
    return true;
}

// The folder is flushed as well: the file may be new.
static bool posixAppend(const char* name, const char* text, uint32_t length, PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    if (!makeFolder(folder)) {
        return failWithErrno(error);
    }
    if (!writeFlushed(path, O_CREAT | O_APPEND, text, length, error)) {
        return false;
    }
    return flushFolder(folder) ? true : failWithErrno(error);
}

// Reads a whole regular file of at most size bytes from an open descriptor.
static bool posixRead(const char* name, char* buffer, uint32_t size, uint32_t* length,
                      bool* present, PlatformError* error) {
    *length = 0;
    *present = false;
    char folder[PATH_MAX];
    char path[PATH_MAX];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return errno == ENOENT ? true : failWithErrno(error);
    }
    *present = true;
    PlatformError failure = readWhole(descriptor, buffer, size, length);
    close(descriptor);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

static bool posixRename(const char* from, const char* to, PlatformError* error) {
    char folder[PATH_MAX];
    char fromPath[PATH_MAX];
    char toPath[PATH_MAX];
    if (!statePath(from, "", folder, fromPath, sizeof fromPath, error) ||
        !statePath(to, "", folder, toPath, sizeof toPath, error)) {
        return false;
    }
    if (rename(fromPath, toPath) != 0 || !flushFolder(folder)) {
        return failWithErrno(error);
    }
    return true;
}

static bool posixRemove(const char* name, PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    if (!statePath(name, "", folder, path, sizeof path, error)) {
        return false;
    }
    if (unlink(path) != 0) {
        return errno == ENOENT ? true : failWithErrno(error);
    }
    return flushFolder(folder) ? true : failWithErrno(error);
}

static const StateFileService posixStateFiles = {
    .read = posixRead,
    .replace = posixReplace,
    .append = posixAppend,
    .rename = posixRename,
    .remove = posixRemove,
    .path = showStatePath,
};

const StateFileService* stateFileService = &posixStateFiles;
