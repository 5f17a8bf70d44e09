// printer-sim: a simulated printer on a loopback address (127.0.0.1 unless --bind names another
// of 127.0.0.0/8), for demonstrations and end-to-end tests. It prints "listening on ADDRESS:PORT"
// once it accepts connections and stops on SIGTERM.

#include "recording/recording_reader.h"
#include "sim/session_replay.h"
#include "sim/sim_tcp_server.h"
#include "sim/simulated_printer.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

static volatile std::sig_atomic_t stopRequested = 0;

static void requestStop(int) {
    stopRequested = 1;
}

// "53 00 00 00 00", "5300000000" or "53,00": pairs of hexadecimal digits, separators ignored.
static bool parseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c != ' ' && c != ',' && c != ':') {
            return false;
        }
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return false;
    }
    bytes->clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes->push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

static std::string hexText(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (uint8_t value : bytes) {
        snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", value);
        text += byte;
    }
    return text;
}

static nlohmann::json eventJson(const SimEvent& event) {
    nlohmann::json line = {
        {"event", simEventKindName(event.kind)},
        {"channel", event.channel == SIM_CHANNEL_TCP ? "tcp" : "local"},
    };
    if (!event.command.empty()) {
        line["command"] = event.command;
    }
    if (!event.bytes.empty()) {
        line["bytes"] = hexText(event.bytes);
    }
    if (event.kind == SIM_EVENT_WRITE || event.kind == SIM_EVENT_REPLY ||
        event.kind == SIM_EVENT_RESET) {
        line["size"] = event.size;
    }
    if (!event.detail.empty()) {
        line["detail"] = event.detail;
    }
    return line;
}

struct Options {
    std::string bind = "127.0.0.1";
    uint16_t port = 10001;
    std::string deviceId = SimulatedPrinter::DEFAULT_DEVICE_ID;
    std::string status = "53 00 00 00 00";
    std::vector<std::string> silentOn;
    std::vector<std::string> closeOn;
    std::string eventLog;
    std::string replay;
    SimFaults faults;
};

static void addOptions(CLI::App& app, Options& options) {
    const std::string commands = "device-id, status, flash-mode or flash-confirm";
    app.add_option("--bind", options.bind,
                   "the loopback address to listen at, one of 127.0.0.0/8, so that several "
                   "simulators can share a port")
        ->capture_default_str()
        ->check(CLI::ValidIPV4);
    app.add_option("--port", options.port,
                   "TCP port at that address; 0 picks a free one (printed on standard output)")
        ->capture_default_str();
    app.add_option("--device-id", options.deviceId, "IEEE 1284 device id text answered to <SA08>")
        ->capture_default_str();
    app.add_option("--status", options.status,
                   "status reply answered to <SS>, as hexadecimal bytes")
        ->capture_default_str();
    app.add_option("--silent-on", options.silentOn,
                   "no answer to this command (" + commands + "); may repeat");
    app.add_option("--close-on", options.closeOn,
                   "close the connection when this command arrives (" + commands + "); may repeat");
    app.add_flag("--close-on-connect", options.faults.closeOnConnect,
                 "close every connection as soon as it is accepted");
    app.add_option("--close-after-image-bytes", options.faults.closeAfterImageBytes,
                   "close the connection in flash mode after this many image bytes");
    app.add_option("--power-cut-after-image-bytes", options.faults.powerCutAfterImageBytes,
                   "hang up once in flash mode after this many image bytes, then come back "
                   "half-written (firmware CORRUPT, not ready) and take the next image whole");
    app.add_option("--reply-limit", options.faults.replyLimit,
                   "cut every reply to at most this many bytes (short or odd-length replies)");
    app.add_flag("--refuse-flash-mode", options.faults.refuseFlashMode,
                 "answer <SA15> without FLASH READY and stay out of flash mode");
    app.add_flag("--not-ready", options.faults.notReady,
                 "report a printer that is not ready (status byte 3 set)");
    app.add_flag("--split-flash-reply", options.faults.splitFlashReply,
                 "answer <SA15> with FLASH READY in two segments, \"FLASH \" then \"READY\" " +
                     std::to_string(SIM_SPLIT_REPLY_GAP_MS) + " ms later");
    app.add_option("--stall-after-image-bytes", options.faults.stallAfterImageBytes,
                   "stop reading in flash mode after this many image bytes, keeping the "
                   "connection open (a stalled printer)");
    app.add_option("--claim-version-after-image-bytes", options.faults.claimVersionAfterImageBytes,
                   "take this many image bytes, close the connection, then report the version "
                   "of the image they began as if it were complete (a false success)");
    app.add_option("--event-log", options.eventLog,
                   "append every event as one JSON object per line to this file");
    CLI::Option* replay = app.add_option(
        "--replay", options.replay,
        "answer as the printer of this recording (ticketflash --record) did, and say on "
        "standard error where the run departs from it; exit 3 when it did, or stopped short");
    // A replayed printer is what its recording says: none of the printer's settings apply.
    for (CLI::Option* option : app.get_options()) {
        const std::string& name = option->get_name();
        if (option != replay && name != "--help" && name != "--bind" && name != "--port" &&
            name != "--event-log") {
            replay->excludes(option);
        }
    }
}

// Turns the command names of --silent-on and --close-on into fault flags.
static void applyCommandFaults(const std::vector<std::string>& names, bool flags[]) {
    for (const std::string& name : names) {
        SimCommand command;
        if (!simCommandFromName(name, &command)) {
            throw CLI::ValidationError("unknown command: " + name);
        }
        flags[command] = true;
    }
}

// Every event as one line of the event log, when one was asked for.
static bool openEventLog(const std::string& path, std::ofstream& eventLog) {
    if (path.empty()) {
        return true;
    }
    eventLog.open(path, std::ios::app);
    if (!eventLog) {
        fprintf(stderr, "--event-log: cannot open %s\n", path.c_str());
        return false;
    }
    return true;
}

static void logEvent(std::ofstream& eventLog, const SimEvent& event) {
    if (eventLog.is_open()) {
        eventLog << eventJson(event).dump() << '\n' << std::flush;
    }
}

// The four octets of --bind, which the parser has checked to be an IPv4 address; false, with the
// reason on standard error, for one outside 127.0.0.0/8: a simulated printer is never served to
// a network.
static bool loopbackAddress(const std::string& text, uint8_t address[4]) {
    unsigned octets[4] = {};
    if (sscanf(text.c_str(), "%u.%u.%u.%u", &octets[0], &octets[1], &octets[2], &octets[3]) != 4) {
        return false;
    }
    for (int index = 0; index < 4; ++index) {
        address[index] = static_cast<uint8_t>(octets[index]);
    }
    if (!isLoopbackAddress(address)) {
        fprintf(stderr,
                "--bind: %s is not a loopback address: printer-sim listens only within "
                "127.0.0.0/8\n",
                text.c_str());
        return false;
    }
    return true;
}

// Serves the printer at the loopback address until SIGTERM or SIGINT.
static int serveUntilStopped(SimConversation& printer, const Options& options) {
    uint8_t address[4];
    if (!loopbackAddress(options.bind, address)) {
        return 2;
    }
    SimTcpServer server(printer);
    PlatformError error;
    if (!server.start(address, options.port, &error)) {
        char description[PLATFORM_ERROR_TEXT_SIZE];
        describePlatformError(error, description, sizeof description);
        fprintf(stderr, "cannot listen on %s:%u: %s\n", options.bind.c_str(), options.port,
                description);
        return 1;
    }
    printf("listening on %s:%u\n", options.bind.c_str(), server.port());
    fflush(stdout);
    while (!stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    server.stop();
    return 0;
}

static int serve(Options& options) {
    SimulatedPrinter printer;
    std::vector<uint8_t> status;
    if (!parseHexBytes(options.status, &status)) {
        fprintf(stderr, "--status: not hexadecimal bytes: %s\n", options.status.c_str());
        return 2;
    }
    printer.setStatus(status);
    printer.setDeviceId(options.deviceId);
    printer.setFaults(options.faults);
    std::ofstream eventLog;
    if (!openEventLog(options.eventLog, eventLog)) {
        return 2;
    }
    printer.setObserver([&eventLog](const SimEvent& event) { logEvent(eventLog, event); });
    return serveUntilStopped(printer, options);
}

// Exit code when a replayed run departed from its recording or stopped short of its end.
constexpr int EXIT_DEPARTED = 3;

static int replay(const Options& options) {
    Recording recording;
    std::vector<ReplayConversation> script;
    std::string error;
    if (!loadRecording(options.replay, &recording, &error) ||
        !buildReplayScript(recording, &script, &error)) {
        fprintf(stderr, "--replay: %s: %s\n", options.replay.c_str(), error.c_str());
        return 2;
    }
    ReplayPrinter printer(std::move(script));
    std::ofstream eventLog;
    if (!openEventLog(options.eventLog, eventLog)) {
        return 2;
    }
    printer.setObserver([&eventLog](const SimEvent& event) {
        logEvent(eventLog, event);
        if (event.kind == SIM_EVENT_DEPARTURE) {
            fprintf(stderr, "replay: departs from the recording at %s\n", event.detail.c_str());
        }
    });
    int exitCode = serveUntilStopped(printer, options);
    if (exitCode != 0) {
        return exitCode;
    }
    fprintf(stderr, "%s\n", printer.verdict().c_str());
    return printer.finished() ? 0 : EXIT_DEPARTED;
}

// Besides a parse error, only a mistake in the option table or running out of memory can throw;
// std::terminate's report ends the simulator for both.
int main(int argc, char** argv) { // NOLINT(bugprone-exception-escape)
    CLI::App app{"printer-sim: a simulated ticket printer serving its TCP commands on loopback.\n"
                 "It answers <SA08> with its device id and <SS> with its status, enters flash\n"
                 "mode on ESC *FR then <SA15> (answering FLASH READY), takes the image, and\n"
                 "resets when the connection closes, reporting the received catalogue slot's\n"
                 "version (or FWV:CORRUPT). Stops on SIGTERM or SIGINT.\n"
                 "With --replay it answers as a recorded printer did instead."};
    Options options;
    addOptions(app, options);
    try {
        app.parse(argc, argv);
        applyCommandFaults(options.silentOn, options.faults.silentOn);
        applyCommandFaults(options.closeOn, options.faults.closeOn);
    } catch (const CLI::ParseError& failure) {
        return app.exit(failure);
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    return options.replay.empty() ? serve(options) : replay(options);
}
