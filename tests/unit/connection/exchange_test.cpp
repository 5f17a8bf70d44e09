#include "tests/doubles/simulated_printer_test.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class DeviceIdOverTcp : public SimulatedPrinterTest {
  protected:
    void SetUp() override { ASSERT_TRUE(connectToPrinter()); }
};

TEST_F(DeviceIdOverTcp, SendsSA08WaitsAndStoresTheReply) {
    ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
    EXPECT_STREQ(printerData.deviceId, SimulatedPrinter::DEFAULT_DEVICE_ID);
    EXPECT_EQ(network->sent(), (std::vector<Bytes>{textBytes("<SA08>")}));
    EXPECT_EQ(kernel.waits(), (std::vector<uint32_t>{300}));
    EXPECT_EQ(kernel.logLines(),
              (Strings{"GetPrinterIDEthernet - Entry",
                       "GetPrinterIDEthernet - Sent <SA08> bytes send = 6",
                       "GetPrinterIDEthernet - reply " +
                           std::to_string(strlen(SimulatedPrinter::DEFAULT_DEVICE_ID)) +
                           " bytes: " + SimulatedPrinter::DEFAULT_DEVICE_ID}));
    EXPECT_EQ(network->receiveTimeouts(), (std::vector<uint32_t>{TEST_RECEIVE_MILLISECONDS}));
}

struct DeviceIdCase {
    const char* name;
    std::string reply;
    std::string stored;
};

static std::string letters(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += static_cast<char>('A' + i % 26);
    }
    return text;
}

static const DeviceIdCase deviceIdCases[] = {
    {"exactly 256 bytes, no zero byte", letters(256), letters(256)},
    {"zero byte at position 7", std::string("MDL:VRE\0FWV:V1.00;", 18), "MDL:VRE"},
    {"zero byte at position 0", std::string("\0MDL:VRE;", 9), ""},
    {"one byte", "M", "M"},
    {"high bytes kept as they are", "MDL:\x9C\xFF;", "MDL:\x9C\xFF;"},
};

TEST_F(DeviceIdOverTcp, StoresTheReplyUpToItsFirstZeroByteReplacingTheOlderId) {
    for (const DeviceIdCase& deviceIdCase : deviceIdCases) {
        SCOPED_TRACE(deviceIdCase.name);
        // A longer id from an earlier probe must leave nothing readable behind.
        memset(printerData.deviceId, 'X', sizeof printerData.deviceId - 1);
        printer.setDeviceId(deviceIdCase.reply);
        ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
        EXPECT_EQ(std::string(printerData.deviceId), deviceIdCase.stored);
    }
}

// The first receive is stored; the rest of a longer id must not be read as the status reply.
TEST_F(DeviceIdOverTcp, ReadinessComesFromTheStatusReplyWhateverTheIdsLength) {
    for (size_t length : {255, 256, 258, 300, 2000}) {
        for (bool ready : {true, false}) {
            SCOPED_TRACE(std::to_string(length) + (ready ? " ready" : " not ready"));
            SimFaults faults;
            faults.notReady = !ready;
            printer.setFaults(faults);
            printer.setDeviceId(letters(length));
            ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
            EXPECT_EQ(std::string(printerData.deviceId), letters(std::min<size_t>(length, 256)));
            EXPECT_EQ(isPrinterReadyEthernet(printerSocket), ready);
        }
    }
}

TEST_F(DeviceIdOverTcp, ASilentPrinterFailsTheReceiveWithinItsBound) {
    SimFaults faults;
    faults.silentOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    strcpy(printerData.deviceId, "MDL:OLD;");
    EXPECT_FALSE(GetPrinterIDEthernet(printerSocket, &printerData));
    EXPECT_EQ(kernel.logLines().back(), "GetPrinterIDEthernet - bytesRecv < 0");
    EXPECT_STREQ(printerData.deviceId, "MDL:OLD;");
}

TEST_F(DeviceIdOverTcp, APrinterThatClosesIsReportedClosed) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    EXPECT_FALSE(GetPrinterIDEthernet(printerSocket, &printerData));
    EXPECT_EQ(kernel.logLines().back(), "GetPrinterIDEthernet - Connection Closed");
    EXPECT_STREQ(printerData.deviceId, "");
}

class StatusOverTcp : public SimulatedPrinterTest {
  protected:
    void SetUp() override { ASSERT_TRUE(connectToPrinter()); }
};

TEST_F(StatusOverTcp, SendsSSWaitsAndLogsEachByte) {
    printer.setStatus({'S', 0x9C, 0, 0, 1});
    EXPECT_TRUE(isPrinterReadyEthernet(printerSocket));
    EXPECT_EQ(network->sent(), (std::vector<Bytes>{textBytes("<SS>")}));
    EXPECT_EQ(kernel.waits(), (std::vector<uint32_t>{200}));
    EXPECT_EQ(kernel.logLines(), (Strings{
                                     "isPrinterReadyEthernet - Entry",
                                     "isPrinterReadyEthernet - Sent <SS> bytes send = 4",
                                     "Status Length = 5, Data = ",
                                     "53 ",
                                     "9C ",
                                     "0 ",
                                     "0 ",
                                     "1 ",
                                     "isPrinterReadyEthernet - Returning printer ready",
                                 }));
    // The TCP status is not the local channel's last good reply.
    EXPECT_EQ(printerData.statusCacheLength, 0u);
}

struct ReadinessCase {
    const char* name;
    Bytes status;
    bool ready;
};

static const ReadinessCase readinessCases[] = {
    {"all clear", {'S', 0, 0, 0, 0}, true},
    {"byte 4 bit 0 ignored", {'S', 0, 0, 0, 1}, true},
    {"byte 4 another bit", {'S', 0, 0, 0, 2}, false},
    {"byte 4 pause bit", {'S', 0, 0, 0, 0x21}, false},
    {"byte 3 set", {'S', 0, 0, 1, 0}, false},
    {"one byte", {'N'}, true},
    {"three bytes", {'S', 0xFF, 0xFF}, true},
    {"four bytes, byte 3 zero", {'S', 1, 1, 0}, true},
    {"four bytes, byte 3 set", {'S', 0, 0, 0x80}, false},
    {"later bytes do not count", {'S', 0, 0, 0, 0, 0xFF, 0xFF}, true},
};

TEST_F(StatusOverTcp, JudgesReadinessByBytesThreeAndFour) {
    for (const ReadinessCase& readiness : readinessCases) {
        SCOPED_TRACE(readiness.name);
        kernel.clearLog();
        printer.setStatus(readiness.status);
        EXPECT_EQ(isPrinterReadyEthernet(printerSocket), readiness.ready);
        EXPECT_EQ(kernel.logLines().back(),
                  readiness.ready ? "isPrinterReadyEthernet - Returning printer ready"
                                  : "isPrinterReadyEthernet - Returning printer NOT READY");
        EXPECT_TRUE(kernel.logged("Status Length = " + std::to_string(readiness.status.size()) +
                                  ", Data = "));
    }
}

struct StatusFault {
    const char* name;
    void (*apply)(SimFaults*);
    const char* lastLine;
};

// In this order on one connection: the last one closes it.
static const StatusFault statusFaults[] = {
    {"not ready", [](SimFaults* f) { f->notReady = true; },
     "isPrinterReadyEthernet - Returning printer NOT READY"},
    {"silent", [](SimFaults* f) { f->silentOn[SIM_COMMAND_STATUS] = true; },
     "isPrinterReadyEthernet - bytesRecv < 0"},
    {"closes", [](SimFaults* f) { f->closeOn[SIM_COMMAND_STATUS] = true; },
     "isPrinterReadyEthernet - Connection Closed"},
};

TEST_F(StatusOverTcp, EachFaultEndsNotReady) {
    for (const StatusFault& fault : statusFaults) {
        SCOPED_TRACE(fault.name);
        SimFaults faults;
        fault.apply(&faults);
        printer.setFaults(faults);
        EXPECT_FALSE(isPrinterReadyEthernet(printerSocket));
        EXPECT_EQ(kernel.logLines().back(), fault.lastLine);
    }
}

TEST_F(StatusOverTcp, AShortReplyOfANotReadyPrinterCountsAsReady) {
    SimFaults faults;
    faults.notReady = true;
    faults.replyLimit = 3;
    printer.setFaults(faults);
    EXPECT_TRUE(isPrinterReadyEthernet(printerSocket));
    EXPECT_TRUE(kernel.logged("Status Length = 3, Data = "));
}

class RawDataOverTcp : public SimulatedPrinterTest {
  public:
    void SetUp() override { ASSERT_TRUE(connectToPrinter()); }

    bool send(const std::string& text) {
        int32_t sent = 0;
        return WriteFileEthernet(printerSocket, reinterpret_cast<const uint8_t*>(text.data()),
                                 static_cast<uint32_t>(text.size()), &sent) &&
               sent == static_cast<int32_t>(text.size());
    }
};

TEST_F(RawDataOverTcp, WritesLogTheCountSent) {
    int32_t sent = 0;
    const uint8_t escFR[] = {0x1B, '*', 'F', 'R'};
    EXPECT_TRUE(WriteFileEthernet(printerSocket, escFR, sizeof escFR, &sent));
    EXPECT_EQ(sent, 4);
    EXPECT_EQ(kernel.logLines(),
              (Strings{"WriteFileEthernet - Entry", "WriteFileEthernet - bytes sent = 4"}));
    EXPECT_TRUE(waitForEvents(SIM_EVENT_COMMAND, 1));
    EXPECT_EQ(printer.commands(), (Strings{"flash-mode"}));
}

TEST_F(RawDataOverTcp, AWriteAcceptedInPartSucceedsWithTheSmallerCount) {
    network->limitSends(3);
    int32_t sent = 0;
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(WriteFileEthernet(printerSocket, bytes, sizeof bytes, &sent));
    EXPECT_EQ(sent, 3);
    EXPECT_EQ(kernel.logLines().back(), "WriteFileEthernet - bytes sent = 3");
}

TEST_F(RawDataOverTcp, AWriteToAClosedConnectionFailsWithMinusOne) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_STATUS] = true;
    printer.setFaults(faults);
    ASSERT_TRUE(send("<SS>"));
    uint8_t reply[16];
    uint32_t size = sizeof reply;
    ASSERT_FALSE(ReadDataEthernet(printerSocket, reply, &size)); // the printer has gone
    // The first send after the peer's close may still be taken; the reset makes a later fail.
    int32_t sent = 0;
    const uint8_t bytes[4] = {};
    bool failed = false;
    for (int attempt = 0; attempt < 50 && !failed; ++attempt) {
        failed = !WriteFileEthernet(printerSocket, bytes, sizeof bytes, &sent);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(sent, -1);
    EXPECT_EQ(kernel.logLines().back(), "WriteFileEthernet - Error sending data");
}

TEST_F(RawDataOverTcp, AReadLogsTheCountAndEachByteBetweenFrames) {
    ASSERT_TRUE(send("\x1b*FR"));
    ASSERT_TRUE(send("<SA15>"));
    kernel.clearLog();
    uint8_t reply[1024];
    uint32_t size = sizeof reply;
    ASSERT_TRUE(ReadDataEthernet(printerSocket, reply, &size));
    ASSERT_EQ(size, 11u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), size), "FLASH READY");
    const std::string frame(31, 'r');
    EXPECT_EQ(kernel.logLines(),
              (Strings{"ReadDataEthernet - Entry", "ReadDataEthernet - Read bytes = 11", frame,
                       "46", "4C", "41", "53", "48", "20", "52", "45", "41", "44", "59", frame}));
    EXPECT_TRUE(kernel.waits().empty());
}

// Sends the flash-mode entry and reads the reply the printer fails to give.
static void expectFailedReadAfterEntry(RawDataOverTcp& test, KernelDouble& kernel) {
    ASSERT_TRUE(test.send("\x1b*FR<SA15>"));
    uint8_t reply[64] = {};
    uint32_t size = sizeof reply;
    EXPECT_FALSE(ReadDataEthernet(printerSocket, reply, &size));
    EXPECT_EQ(size, sizeof reply);
    EXPECT_EQ(kernel.logLines().back(), "ReadDataEthernet - Connection Closed");
}

TEST_F(RawDataOverTcp, AReadThatTimesOutLeavesTheSizeUnchanged) {
    SimFaults faults;
    faults.silentOn[SIM_COMMAND_FLASH_CONFIRM] = true;
    printer.setFaults(faults);
    expectFailedReadAfterEntry(*this, kernel);
}

TEST_F(RawDataOverTcp, AReadOnAClosedConnectionLeavesTheSizeUnchanged) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_FLASH_CONFIRM] = true;
    printer.setFaults(faults);
    expectFailedReadAfterEntry(*this, kernel);
}
