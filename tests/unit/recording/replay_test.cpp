// The replayed printer in-process, on a virtual clock, over the recording of a probe of a ready
// G printer (tests/recordings/ready-g-find.jsonl): "<SA08>" answered after 300 ms, "<SS>" after
// 200 ms.
#include "sim/session_replay.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::vector<ReplayConversation> scriptOf(const char* name) {
    Recording recording;
    std::vector<ReplayConversation> script;
    std::string error;
    EXPECT_TRUE(loadRecording(std::string(TICKETFLASH_RECORDINGS) + "/" + name, &recording, &error))
        << error;
    EXPECT_TRUE(buildReplayScript(recording, &script, &error)) << error;
    return script;
}

class Replay : public testing::Test {
  protected:
    SimOutcome send(const std::string& text) {
        return printer.receive(SIM_CHANNEL_TCP, reinterpret_cast<const uint8_t*>(text.data()),
                               text.size());
    }
    // Whatever the printer sends once the clock has moved on by the time.
    SimOutcome after(uint64_t milliseconds) {
        now += milliseconds;
        return printer.idle(SIM_CHANNEL_TCP);
    }

    uint64_t now = 1000;
    ReplayPrinter printer{scriptOf("ready-g-find.jsonl"), [this] { return now; }};
};

TEST_F(Replay, AnswersTheRecordedCommandsAfterTheirRecordedDelays) {
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    EXPECT_TRUE(send("<SA").replies.empty());
    EXPECT_TRUE(send("08>").replies.empty());
    EXPECT_TRUE(after(250).replies.empty());
    SimOutcome deviceId = after(100);
    ASSERT_EQ(deviceId.replies.size(), 1u);
    EXPECT_EQ(deviceId.replies[0], bytesOf("MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:V1.00;"));
    send("<SS>");
    SimOutcome status = after(250);
    ASSERT_EQ(status.replies.size(), 1u);
    EXPECT_EQ(status.replies[0], (Bytes{'S', 0, 0, 0, 0}));
    printer.close(SIM_CHANNEL_TCP, false);
    EXPECT_TRUE(printer.finished());
    EXPECT_EQ(printer.verdict(),
              "replay: the run followed the recording: 1 conversation, 2 commands");
}

struct DepartureCase {
    const char* name;
    std::vector<std::string> commands; // sent one after the other, 500 ms apart
    const char* departure;
};

class ReplayDeparture : public Replay, public testing::WithParamInterface<DepartureCase> {};

TEST_P(ReplayDeparture, IsReportedWithWhereAndHow) {
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    bool closed = false;
    for (const std::string& command : GetParam().commands) {
        closed = closed || send(command).close || after(500).close;
    }
    printer.close(SIM_CHANNEL_TCP, closed);
    ASSERT_EQ(printer.departures().size(), 1u);
    EXPECT_EQ(printer.departures()[0], GetParam().departure);
    EXPECT_FALSE(printer.finished());
    EXPECT_NE(printer.verdict().find(GetParam().departure), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ReplayDeparture,
    testing::Values(
        DepartureCase{"OutOfOrder",
                      {"<SS>"},
                      "conversation 1: command 1: received \"<SS>\" where the recording has "
                      "\"<SA08>\" (out of order: the recording has it in conversation 1 as "
                      "command 2)"},
        DepartureCase{"NeverSeen",
                      {"<SA08>", "\x1b*FR"},
                      "conversation 1: command 2: received \"\\x1b*FR\" where the recording has "
                      "\"<SS>\" (a command the recording never saw)"},
        DepartureCase{"AfterTheLast",
                      {"<SA08>", "<SS>", "<SS>"},
                      "conversation 1: received \"<SS>\" after the last command recorded (out of "
                      "order: the recording has it in conversation 1 as command 2)"},
        DepartureCase{
            "CutShort", {"<SA08>"}, "conversation 1: the connection closed after command 1 of 2"}),
    [](const testing::TestParamInfo<DepartureCase>& instance) { return instance.param.name; });

TEST_F(Replay, AConnectionBeyondTheRecordingIsRefusedAsADeparture) {
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    send("<SA08>");
    after(500);
    send("<SS>");
    printer.close(SIM_CHANNEL_TCP, false);
    EXPECT_FALSE(printer.open(SIM_CHANNEL_TCP));
    printer.close(SIM_CHANNEL_TCP, true);
    EXPECT_EQ(printer.departures(),
              std::vector<std::string>{
                  "conversation 2: a connection the recording never saw (it holds 1)"});
}

// A flash reply that came in two pieces comes in two pieces again, each at its own time; the
// image is counted and compared at the close.
TEST(ReplayScript, ARepliesPiecesKeepTheirOwnDelaysAndTheImageIsCompared) {
    Recording recording;
    std::string error;
    ASSERT_TRUE(parseRecording(
        "{\"recording\":\"ticketflash\",\"format\":1,\"version\":\"0.1.0\"}\n"
        "{\"t\":1.0,\"route\":\"tcp\",\"conn\":1,\"op\":\"connect\",\"ok\":true}\n"
        "{\"t\":1.1,\"route\":\"tcp\",\"conn\":1,\"op\":\"write\",\"ok\":true,\"size\":6,"
        "\"count\":6,\"bytes\":\"3c534131353e\"}\n"
        "{\"t\":1.6,\"route\":\"tcp\",\"conn\":1,\"op\":\"read\",\"ok\":true,\"count\":6,"
        "\"bytes\":\"464c41534820\"}\n"
        "{\"t\":1.9,\"route\":\"tcp\",\"conn\":1,\"op\":\"read\",\"ok\":true,\"count\":5,"
        "\"bytes\":\"5245414459\"}\n"
        // SHA-256 of "abc"
        "{\"t\":9,\"route\":\"tcp\",\"conn\":1,\"op\":\"image\",\"count\":3,\"sha256\":"
        "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"}\n"
        "{\"t\":9,\"route\":\"tcp\",\"conn\":1,\"op\":\"close\",\"ok\":true}\n",
        &recording, &error))
        << error;
    std::vector<ReplayConversation> script;
    ASSERT_TRUE(buildReplayScript(recording, &script, &error)) << error;
    uint64_t now = 0;
    ReplayPrinter printer(script, [&now] { return now; });
    ASSERT_TRUE(printer.open(SIM_CHANNEL_TCP));
    printer.receive(SIM_CHANNEL_TCP, bytesOf("<SA15>").data(), 6);
    now = 499;
    EXPECT_TRUE(printer.idle(SIM_CHANNEL_TCP).replies.empty());
    now = 500;
    EXPECT_EQ(printer.idle(SIM_CHANNEL_TCP).replies, std::vector<Bytes>{bytesOf("FLASH ")});
    now = 800;
    EXPECT_EQ(printer.idle(SIM_CHANNEL_TCP).replies, std::vector<Bytes>{bytesOf("READY")});
    printer.receive(SIM_CHANNEL_TCP, bytesOf("ab").data(), 2);
    printer.receive(SIM_CHANNEL_TCP, bytesOf("c").data(), 1);
    printer.close(SIM_CHANNEL_TCP, false);
    EXPECT_TRUE(printer.finished()) << printer.verdict();
}

} // namespace
