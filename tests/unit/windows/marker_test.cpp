// The Windows single-instance marker: a named mutex, seen from two creations in one process.
#include "platform/kernel.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

TEST(NamedMutexMarker, ASecondCreationSees183UntilEveryHandleIsClosed) {
    // A name of this test's own, so that no other program of the Wine prefix is disturbed.
    std::string name = "ticketflash-test-" + std::to_string(GetCurrentProcessId());
    PlatformError error = 0xFFFF;
    MarkerHandle first = kernelService->createMarker(name.c_str(), &error);
    EXPECT_NE(first, NO_MARKER);
    EXPECT_EQ(error, 0u);

    MarkerHandle second = kernelService->createMarker(name.c_str(), &error);
    EXPECT_NE(second, NO_MARKER);
    EXPECT_EQ(error, PLATFORM_ERROR_ALREADY_EXISTS);
    EXPECT_EQ(error, static_cast<PlatformError>(ERROR_ALREADY_EXISTS));

    kernelService->releaseMarker(second);
    kernelService->releaseMarker(first);
    MarkerHandle third = kernelService->createMarker(name.c_str(), &error);
    EXPECT_EQ(error, 0u);
    kernelService->releaseMarker(third);
}

TEST(NamedMutexMarker, ReportsAFailedCreation) {
    PlatformError error = 0;
    // A backslash outside a namespace prefix is not a valid object name.
    EXPECT_EQ(kernelService->createMarker("no\\such\\namespace", &error), NO_MARKER);
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, PLATFORM_ERROR_ALREADY_EXISTS);
}

} // namespace
