#include "connection/device_id_read.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/scripted_channel.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class DeviceIdReadTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }

    static void setText(char (&field)[PRINTER_TEXT_SIZE], const char* text) {
        snprintf(field, sizeof field, "%s", text);
    }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

// GetPrinterID --------------------------------------------------------------------------------

struct DeviceIdReadCase {
    std::vector<uint8_t> reply;
    std::string deviceId;
};

TEST_F(DeviceIdReadTest, ReadCopiesTheReplyUpToCountNulOrFieldEnd) {
    const DeviceIdReadCase cases[] = {
        {bytes("MFG:Maker;MDL:VRA G;FWV:V2.02 ;"), "MFG:Maker;MDL:VRA G;FWV:V2.02 ;"},
        {bytes("MDL:A\0MDL:B;", 12), "MDL:A"},
        {bytes("ABC"), "ABC"},
        {{}, ""},
        {std::vector<uint8_t>(1024, 'x'), std::string(1023, 'x')},
    };
    for (const DeviceIdReadCase& test : cases) {
        SCOPED_TRACE(test.deviceId.size());
        setText(printerData.deviceId, "an older and much longer device id of the previous printer");
        kernel.clearWaits();
        ScriptedChannel channel({{CHANNEL_STEP_DEVICE_ID, test.reply}});

        EXPECT_TRUE(GetPrinterID(ScriptedChannel::HANDLE, &printerData));
        EXPECT_EQ(std::string(printerData.deviceId), test.deviceId);
        ASSERT_EQ(channel.calls().size(), 1u);
        EXPECT_EQ(channel.calls()[0].size, 1024u);
        EXPECT_EQ(kernel.waits(), std::vector<uint32_t>{250});
        EXPECT_TRUE(boxes.shown().empty());
    }
}

TEST_F(DeviceIdReadTest, FailedReadShowsTheErrorAndKeepsTheDeviceId) {
    const struct {
        PlatformError error;
        const char* message;
    } cases[] = {
        {{PLATFORM_ERROR_NOT_SUPPORTED, 50}, "GetPrinterID - Error = 50, IOCTL = 16000C"},
        {{PLATFORM_ERROR_NOT_FOUND, 1167}, "GetPrinterID - Error = 1167, IOCTL = 16000C"},
        {{PLATFORM_ERROR_OTHER, 25}, "GetPrinterID - Error = 25, IOCTL = 16000C"},
    };
    for (const auto& test : cases) {
        boxes.clear();
        kernel.clearWaits();
        setText(printerData.deviceId, "MDL:VRA G;");
        ScriptedChannel channel({{CHANNEL_STEP_DEVICE_ID, {}, false, test.error}});

        EXPECT_FALSE(GetPrinterID(ScriptedChannel::HANDLE, &printerData));
        EXPECT_STREQ(printerData.deviceId, "MDL:VRA G;");
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].text, test.message);
        EXPECT_FALSE(boxes.shown()[0].hasCaption);
        EXPECT_EQ(boxes.shown()[0].buttons, MESSAGE_BOX_OK);
        EXPECT_TRUE(kernel.waits().empty());
    }
}
