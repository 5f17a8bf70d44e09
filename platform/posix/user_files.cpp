// User-file service on Linux: every open is O_NONBLOCK, so that a FIFO opens (or fails) at
// once, and the descriptor's fstat decides before anything is read or emptied.
#include "platform/user_files.h"

#include "platform/posix/errno_error.h"
#include "platform/posix/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static bool posixReadWhole(const char* path, char* buffer, uint32_t size, uint32_t* length,
                           PlatformError* error) {
    *length = 0;
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return false;
    }
    PlatformError failure = readWhole(descriptor, buffer, size, length);
    close(descriptor);
    reportPlatformError(error, failure);
    return !platformFailed(failure);
}

// Opened without O_TRUNC: only a file found to be a regular one is emptied. A FIFO without a
// reader fails the open at once (ENXIO) rather than waiting for one.
static UserFileHandle posixCreate(const char* path, PlatformError* error) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        // ENXIO: a FIFO that no one reads, or a device without its unit; neither is a file.
        reportPlatformError(error, errno == ENXIO ? PlatformError{PLATFORM_ERROR_INVALID, 0}
                                                  : errnoError(errno));
        return NO_USER_FILE;
    }
    struct stat status;
    PlatformError failure;
    if (fstat(descriptor, &status) != 0 ||
        (S_ISREG(status.st_mode) && ftruncate(descriptor, 0) != 0)) {
        failure = errnoError(errno);
    } else if (!S_ISREG(status.st_mode)) {
        failure = {PLATFORM_ERROR_INVALID, 0};
    }
    if (platformFailed(failure)) {
        close(descriptor);
        reportPlatformError(error, failure);
        return NO_USER_FILE;
    }
    return descriptor;
}

static bool posixWrite(UserFileHandle file, const char* bytes, uint32_t size,
                       PlatformError* error) {
    if (!writeAll(static_cast<int>(file), bytes, size)) {
        reportErrno(error, errno);
        return false;
    }
    return true;
}

static void posixClose(UserFileHandle file) {
    close(static_cast<int>(file));
}

static const UserFileService posixUserFiles = {
    .readWhole = posixReadWhole,
    .create = posixCreate,
    .write = posixWrite,
    .close = posixClose,
};

const UserFileService* userFileService = &posixUserFiles;
