#include "platform/posix/errno_error.h"

#include <cerrno>

struct ErrnoKind {
    int number;
    PlatformErrorKind kind;
};

// EAGAIN is EWOULDBLOCK and ENOTSUP is EOPNOTSUPP on Linux: each is listed once.
static const ErrnoKind ERRNO_KINDS[] = {
    {ENOENT, PLATFORM_ERROR_NOT_FOUND},
    {ENODEV, PLATFORM_ERROR_NOT_FOUND},
    {ENXIO, PLATFORM_ERROR_NOT_FOUND},
    {EACCES, PLATFORM_ERROR_PERMISSION_DENIED},
    {EPERM, PLATFORM_ERROR_PERMISSION_DENIED},
    {EROFS, PLATFORM_ERROR_PERMISSION_DENIED},
    {EEXIST, PLATFORM_ERROR_ALREADY_EXISTS},
    {EBUSY, PLATFORM_ERROR_ALREADY_EXISTS},
    {ECONNREFUSED, PLATFORM_ERROR_REFUSED},
    {ETIMEDOUT, PLATFORM_ERROR_TIMED_OUT},
    // A send whose SO_SNDTIMEO bound passed with nothing taken.
    {EAGAIN, PLATFORM_ERROR_TIMED_OUT},
    {EHOSTUNREACH, PLATFORM_ERROR_UNREACHABLE},
    {ENETUNREACH, PLATFORM_ERROR_UNREACHABLE},
    {ENETDOWN, PLATFORM_ERROR_UNREACHABLE},
    {EHOSTDOWN, PLATFORM_ERROR_UNREACHABLE},
    {ECONNRESET, PLATFORM_ERROR_CLOSED},
    {EPIPE, PLATFORM_ERROR_CLOSED},
    {ECONNABORTED, PLATFORM_ERROR_CLOSED},
    {ENOTCONN, PLATFORM_ERROR_CLOSED},
    {ESHUTDOWN, PLATFORM_ERROR_CLOSED},
    // What an ioctl answers on a device of another driver.
    {ENOTTY, PLATFORM_ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, PLATFORM_ERROR_NOT_SUPPORTED},
    {ENOSYS, PLATFORM_ERROR_NOT_SUPPORTED},
    {EINVAL, PLATFORM_ERROR_INVALID},
    {EBADF, PLATFORM_ERROR_INVALID},
    {EISDIR, PLATFORM_ERROR_INVALID},
    {ENOTDIR, PLATFORM_ERROR_INVALID},
    // O_NOFOLLOW met a symbolic link.
    {ELOOP, PLATFORM_ERROR_INVALID},
    {EFBIG, PLATFORM_ERROR_TOO_LARGE},
    {ENAMETOOLONG, PLATFORM_ERROR_TOO_LARGE},
    {ENOBUFS, PLATFORM_ERROR_TOO_LARGE},
    {EMSGSIZE, PLATFORM_ERROR_TOO_LARGE},
    {ENOSPC, PLATFORM_ERROR_NO_SPACE},
    {EDQUOT, PLATFORM_ERROR_NO_SPACE},
};

PlatformError errnoError(int number) {
    PlatformErrorKind kind = PLATFORM_ERROR_OTHER;
    for (const ErrnoKind& entry : ERRNO_KINDS) {
        if (entry.number == number) {
            kind = entry.kind;
            break;
        }
    }
    return {kind, static_cast<uint32_t>(number)};
}

void reportErrno(PlatformError* error, int number) {
    reportPlatformError(error, errnoError(number));
}

// The C library's errno is the system's.
PlatformError cLibraryError(int number) {
    return errnoError(number);
}

PlatformError lockError(int number) {
    if (number == EWOULDBLOCK) {
        return {PLATFORM_ERROR_ALREADY_EXISTS, static_cast<uint32_t>(number)};
    }
    return errnoError(number);
}
