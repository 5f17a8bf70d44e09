// The one form of printer traffic in the diagnostic log, and the local channel's reads and
// writes that use it.

#include "connection/printer_traffic.h"

#include "tests/doubles/kernel_double.h"
#include "tests/doubles/scripted_channel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

typedef std::vector<std::string> Lines;

// The text of count bytes 0xFF.
static std::string allOnes(uint32_t count) {
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
        text += "\\xFF";
    }
    return text;
}

struct TrafficCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t shown;
    std::string line;
};

static const TrafficCase trafficCases[] = {
    {"text", bytes("FLASH READY"), PRINTER_TRAFFIC_SHOWN, "reply 11 bytes: FLASH READY"},
    {"status", bytes("S\x9C\0\0\x01", 5), PRINTER_TRAFFIC_SHOWN,
     "reply 5 bytes: S\\x9C\\x00\\x00\\x01"},
    {"command", bytes("\x1B*FR"), PRINTER_TRAFFIC_SHOWN, "reply 4 bytes: \\x1B*FR"},
    {"backslash and delete", bytes("a\\b\x7F"), PRINTER_TRAFFIC_SHOWN,
     "reply 4 bytes: a\\\\b\\x7F"},
    {"nothing", {}, PRINTER_TRAFFIC_SHOWN, "reply 0 bytes: "},
    {"cut where asked", bytes("0123456789"), 4, "reply 10 bytes: 0123 ... 6 more"},
    {"never more than a line", std::vector<uint8_t>(1000, 0xFF), 5000,
     "reply 1000 bytes: " + allOnes(PRINTER_TRAFFIC_SHOWN) + " ... 808 more"},
};

TEST(PrinterTraffic, OneLineEachPrintableAsTextTheRestInHex) {
    for (const TrafficCase& traffic : trafficCases) {
        SCOPED_TRACE(traffic.name);
        KernelDouble kernel;
        logPrinterTraffic("reply", traffic.bytes.data(),
                          static_cast<uint32_t>(traffic.bytes.size()), traffic.shown);
        EXPECT_EQ(kernel.logLines(), Lines{traffic.line});
    }
}

TEST(PrinterTraffic, LocalReadsAndWritesLogWhatTheyCarryOrWhyTheyFailed) {
    KernelDouble kernel;
    ScriptedChannel channel({
        {CHANNEL_STEP_WRITE, {}},
        {CHANNEL_STEP_WRITE, {}, false, {PLATFORM_ERROR_TIMED_OUT, 121}},
        {CHANNEL_STEP_READ, bytes("FLASH READY")},
        {CHANNEL_STEP_READ, {}},
    });
    const std::vector<uint8_t> block(512, 0xFF);
    uint32_t count = 0;
    PlatformError error;
    EXPECT_TRUE(writePrinterHandle(ScriptedChannel::HANDLE, block.data(), 512, &count, &error));
    EXPECT_FALSE(writePrinterHandle(ScriptedChannel::HANDLE, block.data(), 512, &count, &error));
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_TIMED_OUT, 121}));
    uint8_t reply[64];
    EXPECT_TRUE(readPrinterHandle(ScriptedChannel::HANDLE, reply, sizeof reply, &count));
    EXPECT_TRUE(readPrinterHandle(ScriptedChannel::HANDLE, reply, sizeof reply, &count));

    // An image's block costs a short line; an empty read, none.
    EXPECT_EQ(kernel.logLines(),
              (Lines{
                  "writePrinterHandle - wrote 512 bytes: " + allOnes(16) + " ... 496 more",
                  "writePrinterHandle - write failed: timed out (121)",
                  "readPrinterHandle - reply 11 bytes: FLASH READY",
              }));
}
