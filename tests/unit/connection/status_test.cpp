#include "connection/status.h"

#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/scripted_channel.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class StatusTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

std::vector<uint8_t> reply(std::initializer_list<uint8_t> values) {
    return values;
}

struct ReadinessCase {
    const char* name;
    ChannelStep read;
    int32_t portType;
    bool ready;
    uint64_t waitedMilliseconds; // everything GetPrinterStatusData and isPrinterReady pause for
    bool stored;                 // the reply became the last good status report
};

// Waits: a stored reply 250 ms, another 100 for bit 0x20 of byte 4, a failed read 200 ms, an
// unstored reply 100 ms; isPrinterReady adds 150 ms whatever happened.
const ReadinessCase readinessCases[] = {
    {"StoredReadyReport",
     {CHANNEL_STEP_READ, reply({'S', 0, 0, 0, 1})},
     PORT_TYPE_USB,
     true,
     400,
     true},
    {"ByteFourTwoNotReady",
     {CHANNEL_STEP_READ, reply({'S', 0, 0, 0, 2})},
     PORT_TYPE_USB,
     false,
     400,
     true},
    {"BusyBitCostsMore",
     {CHANNEL_STEP_READ, reply({'N', 0, 0, 0, 0x21})},
     PORT_TYPE_USB,
     false,
     500,
     true},
    {"ByteThreeSetNotReady",
     {CHANNEL_STEP_READ, reply({'C', 0, 0, 1, 0})},
     PORT_TYPE_USB,
     false,
     400,
     true},
    {"ThreeBytesCountAsReady",
     {CHANNEL_STEP_READ, reply({'E', 9, 9})},
     PORT_TYPE_USB,
     true,
     400,
     true},
    {"FourBytesJudgedOnByteThree",
     {CHANNEL_STEP_READ, reply({'S', 1, 1, 0})},
     PORT_TYPE_USB,
     true,
     400,
     true},
    {"UnstoredReplyIsStillJudged",
     {CHANNEL_STEP_READ, reply({'F', 0, 0, 0, 0})},
     PORT_TYPE_USB,
     true,
     250,
     false},
    {"FailedRead",
     {CHANNEL_STEP_READ, {}, false, {PLATFORM_ERROR_OTHER, 31}},
     PORT_TYPE_USB,
     false,
     350,
     false},
    {"EmptyReadOnUsbFails", {CHANNEL_STEP_READ, {}}, PORT_TYPE_USB, false, 350, false},
};

class Readiness : public StatusTest, public ::testing::WithParamInterface<ReadinessCase> {};

TEST_P(Readiness, JudgesTheReplyAndPausesAsThePrinterNeeds) {
    const ReadinessCase& c = GetParam();
    printerData.portType = c.portType;
    ScriptedChannel channel({c.read});

    EXPECT_EQ(isPrinterReady(ScriptedChannel::HANDLE, &printerData), c.ready);

    EXPECT_EQ(kernel.elapsedMilliseconds(), c.waitedMilliseconds);
    uint32_t expectedCacheLength = c.stored ? static_cast<uint32_t>(c.read.reply.size()) : 0;
    EXPECT_EQ(printerData.statusCacheLength, expectedCacheLength);
    EXPECT_EQ(channel.calls()[0].size, 1024u);
    EXPECT_TRUE(boxes.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(StatusReplies, Readiness, ::testing::ValuesIn(readinessCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(ReadinessRule, BytesBeyondTheReplyCountAsZero) {
    const uint8_t bytes[] = {'S', 0, 0, 0, 1, 0xFF};
    EXPECT_FALSE(statusReplyIsReady(bytes, 0));
    EXPECT_TRUE(statusReplyIsReady(bytes, 1));
    EXPECT_TRUE(statusReplyIsReady(bytes, 5));
    const uint8_t busy[] = {'S', 0, 0, 0, 0x20};
    EXPECT_FALSE(statusReplyIsReady(busy, 5));
    EXPECT_TRUE(statusReplyIsReady(busy, 4));
}

TEST_F(StatusTest, StatusReportIsCachedByteForByte) {
    std::vector<uint8_t> report(1024, 0x5A);
    report[0] = 'C';
    ScriptedChannel channel({{CHANNEL_STEP_READ, report}});
    uint8_t buffer[1024];
    uint32_t length = sizeof buffer;

    ASSERT_TRUE(GetPrinterStatusData(ScriptedChannel::HANDLE, buffer, &length, &printerData));

    EXPECT_EQ(length, 1024u);
    EXPECT_EQ(printerData.statusCacheLength, 1024u);
    EXPECT_EQ(std::vector<uint8_t>(printerData.statusCache, printerData.statusCache + 1024),
              report);
}

TEST_F(StatusTest, OtherRepliesLeaveTheCacheAlone) {
    ScriptedChannel channel({
        {CHANNEL_STEP_READ, reply({'S', 0, 0, 0, 1})},
        {CHANNEL_STEP_READ, bytes("FLASH READY")},
    });
    uint8_t buffer[1024];
    for (int read = 0; read < 2; ++read) {
        uint32_t length = sizeof buffer;
        ASSERT_TRUE(GetPrinterStatusData(ScriptedChannel::HANDLE, buffer, &length, &printerData));
    }
    EXPECT_EQ(printerData.statusCacheLength, 5u);
    EXPECT_EQ(printerData.statusCache[0], 'S');
}

TEST_F(StatusTest, EmptyReadOnParallelPortIsAnsweredFromTheCache) {
    printerData.portType = PORT_TYPE_PARALLEL;
    ScriptedChannel channel({
        {CHANNEL_STEP_READ, reply({'S', 0, 0, 0, 1, 7})},
        {CHANNEL_STEP_READ, {}},
    });
    uint8_t buffer[1024] = {};
    uint32_t length = sizeof buffer;
    ASSERT_TRUE(GetPrinterStatusData(ScriptedChannel::HANDLE, buffer, &length, &printerData));
    memset(buffer, 0, sizeof buffer);
    kernel.clearWaits();
    length = sizeof buffer;

    ASSERT_TRUE(GetPrinterStatusData(ScriptedChannel::HANDLE, buffer, &length, &printerData));

    EXPECT_EQ(length, 6u);
    EXPECT_EQ(buffer[5], 7);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Recovering data"});
    EXPECT_EQ(kernel.elapsedMilliseconds(), 100u);
}

TEST_F(StatusTest, EmptyReadOnParallelPortWithNothingStoredIsNotReady) {
    printerData.portType = PORT_TYPE_PARALLEL;
    ScriptedChannel channel({ChannelStep{CHANNEL_STEP_READ, {}}});

    EXPECT_FALSE(isPrinterReady(ScriptedChannel::HANDLE, &printerData));

    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Recovering data"});
    EXPECT_EQ(kernel.elapsedMilliseconds(), 250u);
}

TEST_F(StatusTest, LogsEachStepOfTheRead) {
    ScriptedChannel channel({
        {CHANNEL_STEP_READ, reply({'S', 0, 0, 0, 0x9C})},
        {CHANNEL_STEP_READ, {}, false, {PLATFORM_ERROR_OTHER, 5}},
    });
    isPrinterReady(ScriptedChannel::HANDLE, &printerData);
    isPrinterReady(ScriptedChannel::HANDLE, &printerData);

    std::vector<std::string> expected = {
        "GetPrinterStatusData - Entry",
        "GetPrinterStatusData - Before read command to get status bytes",
        "readPrinterHandle - reply 5 bytes: S\\x00\\x00\\x00\\x9C",
        "GetPrinterStatusData - After read command to get status bytes - PASSED",
        "GetPrinterStatusData - Entry",
        "GetPrinterStatusData - Before read command to get status bytes",
        "readPrinterHandle - read failed: system error (5)",
        "GetPrinterStatusData - After read command to get status bytes - FAILED",
    };
    EXPECT_EQ(kernel.logLines(), expected);
}

} // namespace
