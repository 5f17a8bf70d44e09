// Every recording of tests/recordings replayed by printer-sim --replay and run against by
// ticketflash as the recording was made: the tool must end as it did then, and the replayed
// printer must find that the run followed the recording. Two rows run another command than
// the one recorded, and the printer must say where the run departed. The rows named RealTime
// write an image with the writer's real waits (about 20 s to 45 s); ctest runs them apart.
#include "tests/support/child_process.h"

#include <cstdlib>
#include <filesystem>
#include <firmware_manifest.h>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

struct ReplayCase {
    const char* name;
    const char* recording;            // in tests/recordings
    std::vector<std::string> command; // --json, --ip and --port are added
    int exitCode;                     // ticketflash's
    const char* field;                // one field of its report, and its value
    json value;
    int replayExitCode;     // printer-sim's: 0 followed, 3 departed or stopped short
    const char* replaySays; // on printer-sim's standard error
};

class RecordingReplay : public testing::TestWithParam<ReplayCase> {
  protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "ticketflash-replay-XXXXXX";
        folder_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string folder_;
};

TEST_P(RecordingReplay, EndsAsRecordedOrSaysWhereItDeparted) {
    const ReplayCase& example = GetParam();
    std::string recording = std::string(TICKETFLASH_RECORDINGS) + "/" + example.recording;
    ChildProcess printer(PRINTER_SIM_PATH, {"--port", "0", "--replay", recording}, {});
    std::string listening = printer.waitForOutput("\n", 10000);
    size_t colon = listening.rfind(':');
    ASSERT_NE(colon, std::string::npos) << listening;
    std::string port = listening.substr(colon + 1, listening.find('\n') - colon - 1);

    std::vector<std::string> arguments = {"--json"};
    arguments.insert(arguments.end(), example.command.begin(), example.command.end());
    arguments.insert(arguments.end(), {"--ip", "127.0.0.1", "--port", port});
    ChildOutcome tool =
        ChildProcess(TICKETFLASH_PATH, arguments,
                     {"TICKETFLASH_LOCK_DIR=" + folder_, "TICKETFLASH_STATE_DIR=" + folder_,
                      "CUPS_SERVER=" + folder_ + "/no-cups.sock"})
            .finish(120000);
    printer.signal(SIGTERM);
    ChildOutcome replay = printer.finish(10000);

    EXPECT_EQ(tool.exitCode, example.exitCode) << tool.output << tool.errors;
    json report = json::parse(tool.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << tool.output;
    EXPECT_EQ(report[example.field], example.value);
    EXPECT_EQ(replay.exitCode, example.replayExitCode) << replay.errors;
    EXPECT_NE(replay.errors.find(example.replaySays), std::string::npos) << replay.errors;
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, RecordingReplay,
    testing::Values(
        ReplayCase{"ReadyGProbe",
                   "ready-g-find.jsonl",
                   {"find"},
                   0,
                   "version",
                   "V1.00;",
                   0,
                   "the run followed the recording: 1 conversation, 2 commands"},
        ReplayCase{"RasterProbe",
                   "raster-find.jsonl",
                   {"find"},
                   0,
                   "model",
                   "VRK-54",
                   0,
                   "the run followed the recording"},
        ReplayCase{"FlashModeRefused",
                   "flash-mode-refused.jsonl",
                   {"upgrade", "--yes"},
                   1,
                   "messages",
                   json::array({{{"caption", "Error"},
                                 {"text", "Failed to entered flash programming mode"}},
                                {{"caption", "Error"},
                                 {"text", "The printer may be waiting in flash mode: power-cycle "
                                          "it before using it again"}}}),
                   0,
                   "the run followed the recording: 2 conversations, 5 commands"},
        ReplayCase{"UpgradeWhereAProbeWasRecorded",
                   "ready-g-find.jsonl",
                   {"upgrade", "--yes"},
                   1,
                   "bytesSent",
                   0,
                   3,
                   "departs from the recording at conversation 2: a connection the recording "
                   "never saw (it holds 1)"},
        ReplayCase{"ProbeWhereAnUpgradeWasRecorded",
                   "flash-mode-refused.jsonl",
                   {"find"},
                   0,
                   "version",
                   "V1.00;",
                   3,
                   "the run stopped in conversation 1 of 2"},
        ReplayCase{"WriteErrorMidImageRealTime",
                   "write-error-mid-image.jsonl",
                   {"upgrade", "--yes"},
                   1,
                   "verified",
                   false,
                   0,
                   "the run followed the recording: 3 conversations"},
        ReplayCase{"SplitFlashReplyRealTime",
                   "split-flash-reply.jsonl",
                   {"upgrade", "--yes"},
                   0,
                   "newVersion",
                   "V1.12;",
                   0,
                   "the run followed the recording: 3 conversations"},
        ReplayCase{"WholeUpgradeRealTime",
                   "ready-g-upgrade.jsonl",
                   {"upgrade", "--yes"},
                   0,
                   "newVersion",
                   "V1.12;",
                   0,
                   "the run followed the recording: 3 conversations"}),
    [](const testing::TestParamInfo<ReplayCase>& instance) { return instance.param.name; });

// A fleet run talks to no printer itself: each child run records its own printer, in a file
// named after the one given and the printer.
TEST_F(RecordingReplay, FleetRecordsEachPrintersRunBesideTheFileNamed) {
    ChildProcess printer(
        PRINTER_SIM_PATH,
        {"--port", "0", "--device-id",
         "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:" + std::string(manifestSlots[0].label) + ";"},
        {});
    std::string listening = printer.waitForOutput("\n", 10000);
    std::string port = listening.substr(listening.rfind(':') + 1);
    port.pop_back();
    std::ofstream(folder_ + "/venue.txt") << "127.0.0.1:" << port << "\n";
    ChildOutcome fleet =
        ChildProcess(TICKETFLASH_PATH,
                     {"--record", folder_ + "/venue.jsonl", "fleet", folder_ + "/venue.txt"},
                     {"TICKETFLASH_LOCK_DIR=" + folder_, "TICKETFLASH_STATE_DIR=" + folder_,
                      "CUPS_SERVER=" + folder_ + "/no-cups.sock"})
            .finish(60000);
    printer.signal(SIGTERM);
    printer.finish(10000);
    EXPECT_EQ(fleet.exitCode, 0) << fleet.output << fleet.errors;
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/venue.jsonl"));
    std::ifstream recording(folder_ + "/venue-127.0.0.1-" + port + "-find.jsonl");
    std::string header;
    std::string connect;
    std::getline(recording, header);
    std::getline(recording, connect);
    EXPECT_EQ(header.rfind("{\"recording\":\"ticketflash\"", 0), 0u) << header;
    EXPECT_NE(connect.find("\"op\":\"connect\""), std::string::npos) << connect;
}

} // namespace
