// writeWhole through a route's write: a channel that takes a buffer piecemeal, takes nothing,
// fails, or claims more than it was offered.

#include "connection/printer_route.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// What each write call of the route below takes, in turn; -1 fails with a time-out.
static std::vector<int> script;
static std::vector<uint32_t> offered;

static bool scriptedWrite(PrinterChannel, const uint8_t*, uint32_t size, uint32_t* written,
                          PlatformError* error) {
    int taken = script.at(offered.size());
    offered.push_back(size);
    *written = taken < 0 ? 0 : static_cast<uint32_t>(taken);
    reportPlatformError(error,
                        taken < 0 ? PlatformError{PLATFORM_ERROR_TIMED_OUT, 110} : PlatformError{});
    return taken >= 0;
}

static const PrinterRoute SCRIPTED_ROUTE = {
    .write = scriptedWrite, .readReply = nullptr, .close = nullptr};

struct WholeWriteCase {
    const char* name;
    std::vector<int> writes;
    bool done;
    uint32_t accepted;
    std::vector<uint32_t> offered;
    PlatformErrorKind kind;
};

static const WholeWriteCase CASES[] = {
    {"AtOnce", {10}, true, 10, {10}, PLATFORM_ERROR_NONE},
    {"Piecemeal", {4, 6}, true, 10, {10, 6}, PLATFORM_ERROR_NONE},
    {"MoreThanOffered", {4, 99}, true, 10, {10, 6}, PLATFORM_ERROR_NONE},
    {"NothingTaken", {3, 0}, false, 3, {10, 7}, PLATFORM_ERROR_STALLED},
    {"FailedPartWay", {3, -1}, false, 3, {10, 7}, PLATFORM_ERROR_TIMED_OUT},
};

class WholeWrite : public ::testing::TestWithParam<WholeWriteCase> {};

TEST_P(WholeWrite, GoesOnUntilAllIsTakenOrTheChannelStops) {
    const WholeWriteCase& c = GetParam();
    script = c.writes;
    offered.clear();
    const uint8_t bytes[10] = {};
    uint32_t accepted = 0;
    PlatformError error;
    EXPECT_EQ(writeWhole({&SCRIPTED_ROUTE, 7}, bytes, sizeof bytes, &accepted, &error), c.done);
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(offered, c.offered);
    EXPECT_EQ(error.kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(Routes, WholeWrite, ::testing::ValuesIn(CASES),
                         [](const auto& instance) { return std::string(instance.param.name); });
