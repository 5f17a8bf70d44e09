// What the Linux backends make of an errno value, and how every front end describes it.
#include "platform/platform_error.h"
#include "platform/posix/errno_error.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>

namespace {

struct ErrnoCase {
    PlatformError error;
    PlatformErrorKind kind;
    const char* description;
};

std::string described(PlatformError error) {
    char text[PLATFORM_ERROR_TEXT_SIZE];
    describePlatformError(error, text, sizeof text);
    return text;
}

TEST(PlatformErrorPosix, SortsErrnoIntoKindsAndDescribesTheKindWithTheNumber) {
    const ErrnoCase cases[] = {
        {errnoError(ENOENT), PLATFORM_ERROR_NOT_FOUND, "no such device (2)"},
        {errnoError(EACCES), PLATFORM_ERROR_PERMISSION_DENIED, "permission denied (13)"},
        {errnoError(ECONNREFUSED), PLATFORM_ERROR_REFUSED, "connection refused (111)"},
        {errnoError(ETIMEDOUT), PLATFORM_ERROR_TIMED_OUT, "timed out (110)"},
        {errnoError(ECONNRESET), PLATFORM_ERROR_CLOSED, "connection reset by the printer (104)"},
        {lockError(EWOULDBLOCK), PLATFORM_ERROR_ALREADY_EXISTS, "in use by another (11)"},
        {{PLATFORM_ERROR_STALLED, 0}, PLATFORM_ERROR_STALLED, "the printer took nothing"},
        {errnoError(EIO), PLATFORM_ERROR_OTHER, "system error (5)"},
    };
    for (const ErrnoCase& example : cases) {
        SCOPED_TRACE(example.description);
        EXPECT_EQ(example.error.kind, example.kind);
        EXPECT_EQ(described(example.error), example.description);
    }
}

} // namespace
