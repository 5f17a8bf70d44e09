// The single-instance guard over the kernel double: its log lines, a second instance, a
// failed creation and the release.
#include "app/single_instance.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
    KernelDouble kernel;
};

struct StartCase {
    const char* name;
    bool anotherHolds;             // the marker is held by another process beforehand
    PlatformError creationFailure; // every creation fails with this error (none: succeeds)
    bool anotherRunning;
    bool heldByUs;
    const char* errorText; // m_dwLastError as the log shows it
};

const StartCase startCases[] = {
    {"only_instance", false, {}, false, true, "0"},
    {"second_instance", true, {}, true, false, "B7"},
    {"creation_fails", false, {PLATFORM_ERROR_PERMISSION_DENIED, 5}, false, false, "5"},
    // A marker held elsewhere as Linux reports it (EWOULDBLOCK) logs Windows' 183 all the same.
    {"held_with_another_number", false, {PLATFORM_ERROR_ALREADY_EXISTS, 11}, true, false, "B7"},
};

class StartTest : public SingleInstanceTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, TellsWhetherAnotherInstanceRunsAndLogsTheErrorCode) {
    const StartCase& c = GetParam();
    if (c.anotherHolds) {
        kernel.holdMarker("KQ_TOOLS");
    }
    kernel.failMarkerCreation(c.creationFailure);
    CreateSingleInstance();
    EXPECT_EQ(IsAnotherInstanceRunning(), c.anotherRunning);
    EXPECT_EQ(instanceMutex != NO_MARKER, !platformFailed(c.creationFailure));
    std::string error = c.errorText;
    EXPECT_EQ(
        kernel.logLines(),
        (std::vector<std::string>{
            "CreateSingleInstance - Entry",
            "CreateSingleInstance = m_dwLastError = " + error + ", ERROR_ALREADY_EXISTS = B7",
            "IsAnotherInstanceRunning - Entry",
            "IsAnotherInstanceRunning = m_dwLastError = " + error + ", ERROR_ALREADY_EXISTS = B7",
        }));
    if (c.heldByUs) {
        EXPECT_TRUE(kernel.markerHeld("KQ_TOOLS"));
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, StartTest, ::testing::ValuesIn(startCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(SingleInstanceTest, ClearingReleasesTheMarkerSoANewInstanceStarts) {
    CreateSingleInstance();
    ASSERT_FALSE(IsAnotherInstanceRunning());
    kernel.clearLog();
    ClearInstanceMutex();
    EXPECT_EQ(instanceMutex, NO_MARKER);
    EXPECT_FALSE(kernel.markerHeld("KQ_TOOLS"));
    EXPECT_EQ(kernel.logLines(), (std::vector<std::string>{"ClearInstanceMutex - Entry"}));

    CreateSingleInstance();
    EXPECT_FALSE(IsAnotherInstanceRunning());
}

TEST_F(SingleInstanceTest, ASecondClearReleasesNothing) {
    CreateSingleInstance();
    ClearInstanceMutex();
    kernel.holdMarker("KQ_TOOLS"); // a new instance has started meanwhile
    ClearInstanceMutex();
    EXPECT_TRUE(kernel.markerHeld("KQ_TOOLS"));
    EXPECT_EQ(instanceMutex, NO_MARKER);
}

TEST_F(SingleInstanceTest, AFailedFirstInstanceLeavesNothingToRelease) {
    kernel.failMarkerCreation({PLATFORM_ERROR_PERMISSION_DENIED, 5});
    CreateSingleInstance();
    ClearInstanceMutex();
    EXPECT_EQ(instanceMutex, NO_MARKER);
}

} // namespace
