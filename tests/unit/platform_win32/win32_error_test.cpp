// What the Windows backends make of GetLastError's and the Windows Sockets' numbers.
#include "platform/win32/win32_error.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <winsock2.h>

namespace {

struct Win32Case {
    uint32_t number;
    PlatformErrorKind kind;
};

TEST(Win32Error, SortsTheNumbersTheBackendsMeetIntoKindsAndKeepsThem) {
    const Win32Case cases[] = {
        {ERROR_FILE_NOT_FOUND, PLATFORM_ERROR_NOT_FOUND},
        {ERROR_DEVICE_NOT_CONNECTED, PLATFORM_ERROR_NOT_FOUND},
        {ERROR_ACCESS_DENIED, PLATFORM_ERROR_PERMISSION_DENIED},
        {ERROR_ALREADY_EXISTS, PLATFORM_ERROR_ALREADY_EXISTS},
        {ERROR_SHARING_VIOLATION, PLATFORM_ERROR_ALREADY_EXISTS},
        {WSAECONNREFUSED, PLATFORM_ERROR_REFUSED},
        {WSAETIMEDOUT, PLATFORM_ERROR_TIMED_OUT},
        {ERROR_SEM_TIMEOUT, PLATFORM_ERROR_TIMED_OUT},
        {WSAEHOSTUNREACH, PLATFORM_ERROR_UNREACHABLE},
        {WSAECONNRESET, PLATFORM_ERROR_CLOSED},
        {ERROR_NOT_SUPPORTED, PLATFORM_ERROR_NOT_SUPPORTED},
        {ERROR_DISK_FULL, PLATFORM_ERROR_NO_SPACE},
        {RPC_S_SERVER_UNAVAILABLE, PLATFORM_ERROR_OTHER},
    };
    for (const Win32Case& example : cases) {
        SCOPED_TRACE(example.number);
        EXPECT_EQ(win32Error(example.number), (PlatformError{example.kind, example.number}));
    }
    // The C runtime numbers its errno values on its own.
    EXPECT_EQ(cLibraryError(EACCES), (PlatformError{PLATFORM_ERROR_PERMISSION_DENIED, EACCES}));
}

} // namespace
