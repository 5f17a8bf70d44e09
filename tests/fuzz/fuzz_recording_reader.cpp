// Feeds arbitrary text to the recording reader, and what it accepts to the replay: the script
// is built and a replayed printer is taken through every conversation with the recorded
// commands, piece by piece. Nothing may crash or leak; an accepted recording must hold only
// routes and operations the format knows, with every read's bytes as many as its count; and
// the verdict must agree with the departures.

#include "recording/recording_reader.h"
#include "sim/session_replay.h"

#include <string>

static void replayEveryCommand(const std::vector<ReplayConversation>& script) {
    uint64_t now = 0;
    ReplayPrinter printer(script, [&now] { return now; });
    for (const ReplayConversation& conversation : script) {
        bool open = printer.open(SIM_CHANNEL_TCP);
        for (size_t step = 0; open && step < conversation.steps.size(); ++step) {
            const std::vector<uint8_t>& command = conversation.steps[step].command;
            // In two pieces, as TCP may deliver it.
            size_t half = command.size() / 2;
            open = !printer.receive(SIM_CHANNEL_TCP, command.data(), half).close &&
                   !printer.receive(SIM_CHANNEL_TCP, command.data() + half, command.size() - half)
                        .close;
            now += 100;
            open = open && !printer.idle(SIM_CHANNEL_TCP).close;
        }
        printer.close(SIM_CHANNEL_TCP, !open);
    }
    bool departed = printer.departed();
    if (departed == printer.departures().empty() || (departed && printer.finished()) ||
        printer.verdict().empty()) {
        __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Recording recording;
    std::string error;
    if (!parseRecording(std::string(reinterpret_cast<const char*>(data), size), &recording,
                        &error)) {
        if (error.rfind("line ", 0) != 0) {
            __builtin_trap();
        }
        return 0;
    }
    for (const RecordedEvent& event : recording.events) {
        bool input = event.op == RECORDED_OP_READ || event.op == RECORDED_OP_DEVICE_ID;
        if (event.route >= RECORDED_ROUTE_COUNT || event.op >= RECORDED_OP_COUNT ||
            (input && event.bytes.size() != event.count)) {
            __builtin_trap();
        }
    }
    std::vector<ReplayConversation> script;
    if (buildReplayScript(recording, &script, &error)) {
        replayEveryCommand(script);
    }
    return 0;
}
