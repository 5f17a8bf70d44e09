// The recorder over both routes, read back by the reader: what went to the printer and came
// back is in the file, the image only as its count and checksum.
#include "identity/sha256.h"
#include "platform/local_channel.h"
#include "recording/recording_reader.h"
#include "recording/session_recorder.h"
#include "sim/simulated_local_channel.h"
#include "tests/doubles/simulated_printer_test.h"
#include "tests/doubles/user_file_double.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Ops = std::vector<RecordedOp>;

std::string recordingPath() {
    return testing::TempDir() + "recording-test-" +
           testing::UnitTest::GetInstance()->current_test_info()->name() + ".jsonl";
}

Recording readBack(const std::string& path) {
    Recording recording;
    std::string error;
    EXPECT_TRUE(loadRecording(path, &recording, &error)) << error;
    return recording;
}

Ops opsOf(const Recording& recording) {
    Ops ops;
    for (const RecordedEvent& event : recording.events) {
        ops.push_back(event.op);
    }
    return ops;
}

class RecordingOverTcp : public SimulatedPrinterTest {};

TEST_F(RecordingOverTcp, HoldsTheConversationAndOnlyTheImagesCountAndChecksum) {
    std::string path = recordingPath();
    ASSERT_TRUE(startSessionRecording(path.c_str(), "9.8.7", nullptr));
    ASSERT_TRUE(connectToPrinter());
    ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
    int32_t sent = 0;
    ASSERT_TRUE(WriteFileEthernet(printerSocket, textBytes("\x1b*FR").data(), 4, &sent));
    ASSERT_TRUE(WriteFileEthernet(printerSocket, textBytes("<SA15>").data(), 6, &sent));
    uint8_t reply[64];
    uint32_t size = sizeof reply;
    ASSERT_TRUE(ReadDataEthernet(printerSocket, reply, &size));
    std::vector<uint8_t> image(1000);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_TRUE(WriteFileEthernet(printerSocket, image.data(), 512, &sent));
    ASSERT_TRUE(WriteFileEthernet(printerSocket, image.data() + 512, 488, &sent));
    disconnect();
    stopSessionRecording();

    Recording recording = readBack(path);
    EXPECT_EQ(recording.toolVersion, "9.8.7");
    ASSERT_EQ(opsOf(recording),
              (Ops{RECORDED_OP_CONNECT, RECORDED_OP_WRITE, RECORDED_OP_READ, RECORDED_OP_WRITE,
                   RECORDED_OP_WRITE, RECORDED_OP_READ, RECORDED_OP_IMAGE, RECORDED_OP_CLOSE}));
    const std::vector<RecordedEvent>& events = recording.events;
    EXPECT_EQ(events[0].port, server.port());
    EXPECT_EQ(events[1].bytes, textBytes("<SA08>"));
    EXPECT_EQ(events[2].bytes, textBytes(SimulatedPrinter::DEFAULT_DEVICE_ID));
    EXPECT_EQ(events[5].bytes, textBytes("FLASH READY"));
    char checksum[SHA256_HEX_SIZE];
    sha256Hex(image.data(), image.size(), checksum);
    EXPECT_EQ(events[6].count, 1000u);
    EXPECT_EQ(events[6].sha256, checksum);
    for (const RecordedEvent& event : events) {
        EXPECT_EQ(event.route, RECORDED_ROUTE_TCP);
        EXPECT_EQ(event.conn, 1u);
        EXPECT_TRUE(event.ok);
    }
    // The image's bytes are nowhere in the file.
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str().find("00070e151c232a31"), std::string::npos);
}

// A full disk ends the recording at the line before, once: nothing more is written, and the
// conversation with the printer goes on as it would unrecorded.
TEST_F(RecordingOverTcp, AFullDiskEndsTheRecordingAndNotTheConversation) {
    UserFileDouble files;
    ASSERT_TRUE(startSessionRecording("recording.jsonl", "9.8.7", nullptr));
    std::string header = files.text("recording.jsonl");
    files.fillDiskAfter(0);
    ASSERT_TRUE(connectToPrinter());
    EXPECT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
    EXPECT_TRUE(isPrinterReadyEthernet(printerSocket));
    stopSessionRecording();
    PlatformError error;
    EXPECT_TRUE(sessionRecordingFailed(&error));
    EXPECT_EQ(error.kind, PLATFORM_ERROR_NO_SPACE);
    EXPECT_EQ(files.writes(), 2);
    EXPECT_EQ(files.text("recording.jsonl"), header);
}

TEST(RecordingOnTheLocalChannel, HoldsEveryOpenWithItsPathAndTheSystemsError) {
    SimulatedPrinter printer;
    SimulatedLocalChannel channel;
    channel.attach("LPT1:", &printer);
    std::string path = recordingPath();
    ASSERT_TRUE(startSessionRecording(path.c_str(), "1", nullptr));
    PlatformError error;
    EXPECT_EQ(localChannelService->open("LPT2:", CHANNEL_SHARED, &error), INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, 2})); // the caller still gets it
    ChannelHandle handle = localChannelService->open("LPT1:", CHANNEL_SHARED, nullptr);
    uint8_t buffer[256];
    uint32_t count = 0;
    EXPECT_TRUE(
        localChannelService->requestDeviceId(handle, buffer, sizeof buffer, &count, nullptr));
    EXPECT_TRUE(
        localChannelService->write(handle, textBytes("\x1b*FR").data(), 4, &count, nullptr));
    EXPECT_TRUE(localChannelService->read(handle, buffer, sizeof buffer, &count, nullptr));
    localChannelService->close(handle);
    stopSessionRecording();

    Recording recording = readBack(path);
    ASSERT_EQ(opsOf(recording), (Ops{RECORDED_OP_OPEN, RECORDED_OP_OPEN, RECORDED_OP_DEVICE_ID,
                                     RECORDED_OP_WRITE, RECORDED_OP_READ, RECORDED_OP_CLOSE}));
    const std::vector<RecordedEvent>& events = recording.events;
    EXPECT_EQ(events[0].path, "LPT2:");
    EXPECT_FALSE(events[0].ok);
    EXPECT_EQ(events[0].error, 2u);
    EXPECT_EQ(events[1].path, "LPT1:");
    EXPECT_EQ(events[1].conn, 2u);
    EXPECT_EQ(events[2].bytes, textBytes(printer.deviceId()));
    EXPECT_EQ(events[4].bytes, printer.statusReply());
    EXPECT_EQ(events[4].route, RECORDED_ROUTE_LOCAL);
}

struct DamagedCase {
    const char* name;
    std::string text;
    const char* error;
};

class DamagedRecording : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedRecording, IsRefusedNamingTheLine) {
    Recording recording;
    std::string error;
    EXPECT_FALSE(parseRecording(GetParam().text, &recording, &error));
    EXPECT_EQ(error, GetParam().error);
}

const char HEADER[] = "{\"recording\":\"ticketflash\",\"format\":1,\"version\":\"0.1.0\"}\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, DamagedRecording,
    testing::Values(
        DamagedCase{"Empty", "", "line 1: empty file"},
        DamagedCase{"NotARecording", "{\"events\":[]}\n", "line 1: not a ticketflash recording"},
        DamagedCase{"LaterFormat", "{\"recording\":\"ticketflash\",\"format\":2}\n",
                    "line 1: a recording format this program does not know"},
        DamagedCase{"NotJson", std::string(HEADER) + "{\"t\":0,\n", "line 2: not a JSON object"},
        DamagedCase{"UnknownOp",
                    std::string(HEADER) + "{\"t\":0,\"route\":\"tcp\",\"conn\":1,\"op\":\"fly\"}\n",
                    "line 2: unknown \"op\""},
        DamagedCase{"OddHex",
                    std::string(HEADER) + "{\"t\":0,\"route\":\"tcp\",\"conn\":1,\"op\":\"read\","
                                          "\"count\":1,\"bytes\":\"5\"}\n",
                    "line 2: \"bytes\" must be pairs of hexadecimal digits"},
        DamagedCase{"CountDisagrees",
                    std::string(HEADER) + "\n{\"t\":1,\"route\":\"local\",\"conn\":1,\"op\":"
                                          "\"device-id\",\"count\":2,\"bytes\":\"41\"}\n",
                    "line 3: \"bytes\" must hold \"count\" bytes"}),
    [](const testing::TestParamInfo<DamagedCase>& instance) { return instance.param.name; });

} // namespace
