#include "sim/simulated_local_channel.h"
#include "sim/simulated_printer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

static Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

static SimOutcome feed(SimulatedPrinter& printer, const std::string& text) {
    return printer.receive(SIM_CHANNEL_TCP, reinterpret_cast<const uint8_t*>(text.data()),
                           text.size());
}

TEST(SimulatedPrinterOverTcp, AnswersCommandsSplitAcrossPiecesAndDropsStrayBytes) {
    SimulatedPrinter printer;
    printer.setStatus({'S', 0, 0, 0, 0});
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    EXPECT_TRUE(feed(printer, "<S").replies.empty());
    SimOutcome outcome = feed(printer, "S>x<SA08>");
    ASSERT_EQ(outcome.replies.size(), 2u);
    EXPECT_EQ(outcome.replies[0], (Bytes{'S', 0, 0, 0, 0}));
    EXPECT_EQ(outcome.replies[1], bytesOf(SimulatedPrinter::DEFAULT_DEVICE_ID));
    EXPECT_EQ(printer.commands(), (Strings{"status", "device-id"}));
    size_t unknown = 0;
    for (const SimEvent& event : printer.events()) {
        unknown += event.kind == SIM_EVENT_UNKNOWN ? 1 : 0;
    }
    EXPECT_EQ(unknown, 1u);
}

TEST(SimulatedPrinterOverTcp, CutsRepliesToTheLimit) {
    SimulatedPrinter printer;
    SimFaults faults;
    faults.replyLimit = 3;
    printer.setFaults(faults);
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    SimOutcome outcome = feed(printer, "<SA08>");
    ASSERT_EQ(outcome.replies.size(), 1u);
    EXPECT_EQ(outcome.replies[0], bytesOf("MFG"));
}

TEST(SimulatedPrinterOverTcp, ImageBytesInTheConfirmingPieceAreCounted) {
    SimulatedPrinter printer;
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    SimOutcome outcome = feed(printer, "\x1b*FR<SA15>abcd");
    ASSERT_EQ(outcome.replies.size(), 1u);
    EXPECT_EQ(outcome.replies[0], bytesOf("FLASH READY"));
    EXPECT_EQ(printer.imageByteCount(), 4u);
    printer.close(SIM_CHANNEL_TCP, false);
    EXPECT_TRUE(printer.firmwareCorrupt());
    EXPECT_NE(printer.deviceId().find("FWV:CORRUPT;"), std::string::npos);
}

TEST(SimulatedPrinterOverTcp, AConfirmationWithoutFlashModeRequestIsRefused) {
    SimulatedPrinter printer;
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    SimOutcome outcome = feed(printer, "<SA15>");
    ASSERT_EQ(outcome.replies.size(), 1u);
    EXPECT_EQ(outcome.replies[0], bytesOf("FLASH REFUSED"));
    EXPECT_FALSE(printer.inFlashMode());
}

class SimulatedPrinterLocally : public ::testing::Test {
  protected:
    static constexpr const char* PATH = "\\\\?\\usb#vid_0000&pid_0000#sim#{28d78fad}";

    void SetUp() override { channel.attach(PATH, &printer); }

    Bytes read(ChannelHandle handle) {
        uint8_t buffer[1024];
        uint32_t received = 0;
        EXPECT_TRUE(localChannelService->read(handle, buffer, sizeof buffer, &received, nullptr));
        return Bytes(buffer, buffer + received);
    }

    uint32_t write(ChannelHandle handle, const Bytes& bytes) {
        uint32_t written = 0;
        EXPECT_TRUE(localChannelService->write(
            handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written, nullptr));
        return written;
    }

    SimulatedPrinter printer;
    SimulatedLocalChannel channel;
};

TEST_F(SimulatedPrinterLocally, AnswersTheDeviceIdRequestReadsAndTheFlashEntry) {
    ChannelHandle handle = localChannelService->open(PATH, CHANNEL_EXCLUSIVE, nullptr);
    ASSERT_NE(handle, INVALID_CHANNEL_HANDLE);
    uint8_t id[1024];
    uint32_t received = 0;
    ASSERT_TRUE(localChannelService->requestDeviceId(handle, id, sizeof id, &received, nullptr));
    EXPECT_EQ(Bytes(id, id + received), bytesOf(SimulatedPrinter::DEFAULT_DEVICE_ID));
    EXPECT_EQ(read(handle), (Bytes{'S', 0, 0, 0, 0}));

    EXPECT_EQ(write(handle, {0x1B, '*', 'F', 'R'}), 4u);
    EXPECT_EQ(read(handle), (Bytes{'S', 0, 0, 0, 0}));
    EXPECT_EQ(write(handle, {0x1B, 'I', 'A', 0x0F}), 4u);
    EXPECT_EQ(read(handle), bytesOf("FLASH READY"));
    EXPECT_EQ(write(handle, {0}), 1u); // a parallel port's zero byte is not image
    EXPECT_EQ(write(handle, {1, 2, 3}), 3u);
    EXPECT_EQ(printer.imageByteCount(), 3u);
    EXPECT_TRUE(localChannelService->close(handle));
    EXPECT_TRUE(printer.firmwareCorrupt());
    EXPECT_EQ(printer.commands(), (Strings{"device-id", "status", "flash-mode", "flash-confirm"}));
}

TEST_F(SimulatedPrinterLocally, AcceptsWritesOnlyInPartWhenAsked) {
    SimFaults faults;
    faults.writeLimit = 2;
    printer.setFaults(faults);
    ChannelHandle handle = localChannelService->open(PATH, CHANNEL_SHARED, nullptr);
    EXPECT_EQ(write(handle, {0x1B, '*', 'F', 'R'}), 2u);
    localChannelService->close(handle);
}

TEST_F(SimulatedPrinterLocally, UnknownPathsAndClosedPrintersFail) {
    PlatformError error;
    EXPECT_EQ(localChannelService->open("LPT9:", CHANNEL_EXCLUSIVE, &error),
              INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, 2}));
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_STATUS] = true;
    printer.setFaults(faults);
    ChannelHandle handle = localChannelService->open(PATH, CHANNEL_EXCLUSIVE, nullptr);
    uint8_t buffer[16];
    uint32_t received = 7;
    EXPECT_FALSE(localChannelService->read(handle, buffer, sizeof buffer, &received, &error));
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, 1167}));
}
