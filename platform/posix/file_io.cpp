#include "platform/posix/file_io.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

bool writeAll(int descriptor, const char* text, uint32_t length) {
    while (length > 0) {
        ssize_t written = write(descriptor, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text += written;
        length -= static_cast<uint32_t>(written);
    }
    return true;
}

PlatformError readWhole(int descriptor, char* buffer, uint32_t size, uint32_t* length) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        return errnoError(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return {PLATFORM_ERROR_INVALID, 0};
    }
    if (status.st_size > static_cast<off_t>(size)) {
        return {PLATFORM_ERROR_TOO_LARGE, 0};
    }
    ssize_t got = pread(descriptor, buffer, static_cast<size_t>(status.st_size), 0);
    if (got != status.st_size) {
        // A file that shrank while it was read is refused rather than taken in part.
        return got < 0 ? errnoError(errno) : PlatformError{PLATFORM_ERROR_OTHER, 0};
    }
    *length = static_cast<uint32_t>(got);
    return {};
}
