// ticketflash run as a process against printer-sim processes on 127.0.0.1. Every run gets a
// lock folder and a journal folder of its own (so the single-instance marker and the spooler
// journal of other runs on the machine play no part) and a CUPS server that does not exist (so
// the machine's own queues are never touched).
#include "tests/support/child_process.h"

#include "identity/firmware_catalogue.h"
#include "platform/kernel.h"

#include "cli/fleet_inventory.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <firmware_manifest.h>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using nlohmann::json;

const char READY_G_PRINTER[] = "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:V1.00;";
// The image the tool picks for it, catalogue slot 0, and the bytes the writer sends of it (its
// size rounded down to even).
const std::string G_IMAGE = manifestSlots[0].label;
const uint32_t G_IMAGE_BYTES_SENT = manifestSlots[0].size & ~1u;
const std::string G_CAPTION = "Update G printer to new version? (" + G_IMAGE + ")";
// A G printer that runs that image already: the same-version question is asked.
const std::string UP_TO_DATE_G_PRINTER = "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:" + G_IMAGE + ";";
const char RASTER_PRINTER[] = "MFG:SIM;MDL:VRK-54;CLS:PRINTER;FWV:V2.00;";

std::string privateFolder() {
    std::string pattern = testing::TempDir() + "ticketflash-cli-XXXXXX";
    char* made = mkdtemp(pattern.data());
    return made != nullptr ? made : "";
}

// printer-sim on a free loopback port unless its options name one, with its events in a file of
// its own.
class SimulatedPrinterProcess {
  public:
    SimulatedPrinterProcess(const std::string& folder, std::vector<std::string> options)
        : eventLog_(folder + "/events-" + std::to_string(started_++) + ".jsonl") {
        if (std::find(options.begin(), options.end(), "--port") == options.end()) {
            options.insert(options.end(), {"--port", "0"});
        }
        options.insert(options.end(), {"--event-log", eventLog_});
        process_ =
            std::make_unique<ChildProcess>(PRINTER_SIM_PATH, options, std::vector<std::string>{});
        std::string line = process_->waitForOutput("\n", 10000);
        size_t colon = line.rfind(':');
        port_ =
            colon == std::string::npos ? "" : line.substr(colon + 1, line.find('\n') - colon - 1);
    }

    ~SimulatedPrinterProcess() {
        process_->signal(SIGTERM);
        process_->finish(5000);
    }

    const std::string& port() const { return port_; }

    // The events the printer recorded, in order.
    std::vector<json> events() const {
        std::vector<json> recorded;
        std::ifstream lines(eventLog_);
        std::string line;
        while (std::getline(lines, line)) {
            recorded.push_back(json::parse(line, nullptr, false));
        }
        return recorded;
    }

    bool sawEvent(const std::string& kind, const std::string& command = "") const {
        for (const json& event : events()) {
            if (event.is_object() && event.value("event", "") == kind &&
                (command.empty() || event.value("command", "") == command)) {
                return true;
            }
        }
        return false;
    }

    bool received(const std::string& command) const { return sawEvent("command", command); }

    // Waits until the printer has received the command.
    bool waitFor(const std::string& command, int timeoutMilliseconds) const {
        for (int waited = 0; waited < timeoutMilliseconds; waited += 50) {
            if (received(command)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // The events of a kind so far; and waiting until there are more than count.
    std::vector<json> eventsOf(const std::string& kind) const {
        std::vector<json> found;
        for (const json& event : events()) {
            if (event.is_object() && event.value("event", "") == kind) {
                found.push_back(event);
            }
        }
        return found;
    }
    bool waitForMore(const std::string& kind, size_t count, int timeoutMilliseconds) const {
        for (int waited = 0; waited < timeoutMilliseconds; waited += 10) {
            if (eventsOf(kind).size() > count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

  private:
    static inline int started_ = 0;
    std::string eventLog_;
    std::unique_ptr<ChildProcess> process_;
    std::string port_;
};

// A loopback port that nothing listens on: bound, read and let go again.
std::string closedPort() {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return std::to_string(ntohs(address.sin_port));
}

class TicketflashProcess : public testing::Test {
  protected:
    void SetUp() override { folder_ = privateFolder(); }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::vector<std::string> environment() const {
        return {"TICKETFLASH_LOCK_DIR=" + folder_, "TICKETFLASH_STATE_DIR=" + folder_,
                "CUPS_SERVER=" + folder_ + "/absent/cups.sock", "TICKETFLASH_DEBUG_LOG="};
    }

    std::unique_ptr<ChildProcess> start(const std::vector<std::string>& arguments,
                                        bool terminalInput = false) const {
        return std::make_unique<ChildProcess>(TICKETFLASH_PATH, arguments, environment(),
                                              terminalInput);
    }

    ChildOutcome run(const std::vector<std::string>& arguments) const {
        return start(arguments)->finish(60000);
    }

    // A --json run: its exit code, and its standard output parsed as the one JSON object.
    json runJson(std::vector<std::string> arguments, int* exitCode) const {
        arguments.insert(arguments.begin(), "--json");
        ChildOutcome outcome = run(arguments);
        *exitCode = outcome.exitCode;
        json report = json::parse(outcome.output, nullptr, false);
        EXPECT_TRUE(report.is_object()) << outcome.output << outcome.errors;
        return report;
    }

    std::unique_ptr<SimulatedPrinterProcess> printer(std::vector<std::string> options) const {
        return std::make_unique<SimulatedPrinterProcess>(folder_, options);
    }

    std::string folder_;
};

std::vector<std::string> messageTexts(const json& report) {
    std::vector<std::string> texts;
    for (const json& message : report["messages"]) {
        texts.push_back(message["text"]);
    }
    return texts;
}

// --- probe outcomes over TCP --------------------------------------------------------------

struct FindCase {
    const char* name;
    std::vector<std::string> printerOptions;
    int exitCode;
    const char* status;
    bool ready;
    std::string caption;
    bool upgradeEnabled;
    std::vector<std::string> variants;
};

class FindOverTcp : public TicketflashProcess, public testing::WithParamInterface<FindCase> {};

TEST_P(FindOverTcp, ShowsWhatTheDialogShows) {
    const FindCase& example = GetParam();
    auto simulated = printer(example.printerOptions);
    ASSERT_FALSE(simulated->port().empty());
    int exitCode = -1;
    json report = runJson({"find", "--ip", "127.0.0.1", "--port", simulated->port()}, &exitCode);
    EXPECT_EQ(exitCode, example.exitCode);
    EXPECT_EQ(report["exitCode"], example.exitCode);
    EXPECT_EQ(report["status"], example.status);
    EXPECT_EQ(report["ready"], example.ready);
    EXPECT_EQ(report["port"], "ETHERNET");
    EXPECT_EQ(report["caption"], example.caption);
    EXPECT_EQ(report["upgradeEnabled"], example.upgradeEnabled);
    EXPECT_EQ(report["variants"], json(example.variants));
    EXPECT_EQ(report["messages"], json::array());
}

INSTANTIATE_TEST_SUITE_P(Outcomes, FindOverTcp,
                         testing::Values(FindCase{"ReadyG",
                                                  {"--device-id", READY_G_PRINTER},
                                                  0,
                                                  "Found Printer - Printer ready",
                                                  true,
                                                  G_CAPTION,
                                                  true,
                                                  {"STD LOGIC BD I", "Qorvel LOGIC BD I"}},
                                         FindCase{"RasterWithVariants",
                                                  {"--device-id", RASTER_PRINTER},
                                                  0,
                                                  "Found Printer - Printer ready",
                                                  true,
                                                  "Update VRK-54 printer FW file not selected",
                                                  false,
                                                  {"V2.02a  LOGIC BD II", "V2.01b LOGIC BD II"}},
                                         FindCase{"NotReady",
                                                  {"--device-id", READY_G_PRINTER, "--not-ready"},
                                                  1,
                                                  "Found Printer - Printer NOT ready",
                                                  false,
                                                  "",
                                                  false,
                                                  {}}),
                         [](const testing::TestParamInfo<FindCase>& instance) {
                             return instance.param.name;
                         });

TEST_F(TicketflashProcess, FindWithNoPrinterAtTheAddressEndsWithThree) {
    int exitCode = -1;
    std::string port = closedPort();
    json report = runJson({"find", "--ip", "127.0.0.1", "--port", port}, &exitCode);
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(report["status"], "Did not find Ethernet attached printer");
    EXPECT_EQ(report["ready"], false);
    EXPECT_EQ(report["address"], "127.0.0.1:" + port);
    EXPECT_EQ(report["cause"]["kind"], "refused") << report.dump();
}

// A device path that is not there is named with the system's reason, and a device whose id
// cannot be read shows no identity.
TEST_F(TicketflashProcess, LocalFailuresNameTheDeviceAndTheCause) {
    ChildOutcome missing = run({"probe", "--device", folder_ + "/lp9"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.output.find("Could not open " + folder_ + "/lp9: no such device (2)."),
              std::string::npos)
        << missing.output;
    ChildOutcome unread = run({"probe", "--device", "/dev/null"});
    EXPECT_NE(unread.output.find("Model        \n"), std::string::npos) << unread.output;
    EXPECT_EQ(unread.output.find("Language     HRM"), std::string::npos) << unread.output;
}

TEST_F(TicketflashProcess, ProbeWithNoLocalPrinterEndsWithThree) {
    int exitCode = -1;
    json report = runJson({"probe"}, &exitCode);
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(report["status"], "Did not find printer");
    EXPECT_EQ(report["exitCode"], 3);
}

// Two printers at different loopback addresses on one port, in a range that holds addresses
// nobody listens at: both are found and classified, each was sent the device id request alone,
// and the inventory written is one that fleet reads.
TEST_F(TicketflashProcess, DiscoverFindsThePrintersOfARangeAndWritesTheirInventory) {
    // A block of loopback of this run's own, away from 127.0.0.1.
    std::string block = "127.201." + std::to_string(getpid() % 250) + ".";
    auto gPrinter = printer({"--bind", block + "2", "--device-id", READY_G_PRINTER});
    ASSERT_FALSE(gPrinter->port().empty());
    auto rasterPrinter =
        printer({"--bind", block + "5", "--port", gPrinter->port(), "--device-id", RASTER_PRINTER});
    std::string inventory = folder_ + "/found.txt";
    int exitCode = -1;
    json report = runJson(
        {"discover", block + "0/29", "--port", gPrinter->port(), "--inventory-out", inventory},
        &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(report["addresses"], 6);
    EXPECT_EQ(report["others"], json::array());
    ASSERT_EQ(report["printers"].size(), 2u) << report.dump(2);
    const json& g = report["printers"][0];
    EXPECT_EQ(g["address"], block + "2");
    EXPECT_EQ(g["model"], "VRE G");
    EXPECT_EQ(g["board"], "LOGIC BD I");
    EXPECT_EQ(g["version"], "V1.00");
    EXPECT_EQ(g["image"], G_IMAGE);
    EXPECT_EQ(g["action"], "to-upgrade");
    const json& raster = report["printers"][1];
    EXPECT_EQ(raster["address"], block + "5");
    EXPECT_EQ(raster["model"], "VRK-54");
    EXPECT_EQ(raster["image"], nullptr);
    EXPECT_EQ(raster["variantImages"], json({manifestSlots[9].label, manifestSlots[11].label}));
    EXPECT_EQ(raster["action"], "needs-variant");
    for (const SimulatedPrinterProcess* found : {gPrinter.get(), rasterPrinter.get()}) {
        std::vector<json> commands = found->eventsOf("command");
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0]["command"], "device-id");
    }
    std::ifstream file(inventory);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<InventoryPrinter> listed;
    std::vector<std::string> errors;
    auto literal = [](const std::string& host, std::string* address, std::string*) {
        *address = host;
        return true;
    };
    ASSERT_TRUE(parseInventory(text, literal, &listed, &errors)) << text;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].address, block + "2");
    EXPECT_EQ(std::to_string(listed[1].port), gPrinter->port());
    EXPECT_EQ(listed[1].variant, 0);
    EXPECT_NE(text.find("# variant="), std::string::npos) << text;
}

// What the printer sent reaches the terminal escaped: its ESC [2J would clear the screen.
TEST_F(TicketflashProcess, PlainOutputShowsTheFieldsAsAlignedLinesWithPrinterTextEscaped) {
    auto simulated =
        printer({"--device-id", "MFG:SIM;CMD:G;MDL:VRE G \x1b[2JSIM;CLS:PRINTER;FWV:V1.00;"});
    ChildOutcome outcome = run({"find", "--ip", "127.0.0.1", "--port", simulated->port()});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.output.find("Printer      Found Printer - Printer ready\n"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("Model        VRE G \\x1B[2JSIM\n"), std::string::npos);
    EXPECT_EQ(outcome.output.find('\x1b'), std::string::npos);
    EXPECT_NE(outcome.output.find("Version      V1.00;\n"), std::string::npos);
    EXPECT_NE(outcome.output.find("Upgrade      " + G_CAPTION + "\n"), std::string::npos);
    // A G printer has no variants to choose, though the dialog's hidden combo box holds some.
    EXPECT_EQ(outcome.output.find("Variants"), std::string::npos) << outcome.output;
    // The tool's own tabs are no control from a printer.
    ChildOutcome versions = run({"versions"});
    EXPECT_NE(versions.output.find("Logic Bd I  \t- V1.12"), std::string::npos) << versions.output;
}

// --- inputs with bounds --------------------------------------------------------------------

// A file the user names that is no regular file, or larger than the inventory's 1 MiB, is a
// usage error at once: nothing is read from a FIFO or /dev/zero, nothing waits for a writer.
TEST_F(TicketflashProcess, NamedFilesThatAreNoRegularFileOrTooLargeEndWith64AtOnce) {
    std::string fifo = folder_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string large = folder_ + "/large";
    std::ofstream(large) << std::string(1024 * 1024 + 1, '#');
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const Case cases[] = {
        {{"fleet", "--yes", "/dev/zero"},
         "/dev/zero: cannot read the inventory: not a regular file"},
        {{"fleet", "--yes", fifo}, fifo + ": cannot read the inventory: not a regular file"},
        {{"fleet", "--yes", folder_}, folder_ + ": cannot read the inventory: not a regular file"},
        {{"fleet", "--yes", large},
         large + ": cannot read the inventory: larger than 1048576 bytes"},
        {{"--record", fifo, "versions"},
         "--record: cannot create " + fifo + ": not a regular file"},
        {{"--record", "/dev/full", "versions"},
         "--record: cannot create /dev/full: not a regular file"},
    };
    for (const Case& bounded : cases) {
        SCOPED_TRACE(bounded.error);
        ChildOutcome outcome = run(bounded.arguments);
        EXPECT_EQ(outcome.exitCode, 64);
        EXPECT_NE(outcome.errors.find(bounded.error), std::string::npos) << outcome.errors;
    }
}

// A recording that the disk stops taking (here a file size limit) is said once, and the run
// goes on to its end as if nothing were recorded.
TEST_F(TicketflashProcess, ARecordingThatFailsMidRunIsReportedAndTheRunGoesOn) {
    auto simulated = printer({"--device-id", READY_G_PRINTER});
    std::string recording = folder_ + "/recording.jsonl";
    ChildProcess tool("/bin/sh",
                      {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", TICKETFLASH_PATH,
                       "--json", "--record", recording, "find", "--ip", "127.0.0.1", "--port",
                       simulated->port()},
                      environment());
    ChildOutcome outcome = tool.finish(60000);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    json report = json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << outcome.output;
    EXPECT_EQ(report["status"], "Found Printer - Printer ready");
    EXPECT_EQ(report["recording"]["ok"], false);
    EXPECT_NE(report["recording"]["error"].get<std::string>().find("(27)"), std::string::npos);
}

// --- the other commands --------------------------------------------------------------------

TEST_F(TicketflashProcess, VersionsShowsTheListInABoxCaptionedVersions) {
    int exitCode = -1;
    json report = runJson({"versions"}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["caption"], "Versions");
    EXPECT_NE(report["messages"][0]["text"].get<std::string>().find(G_IMAGE), std::string::npos);
}

TEST_F(TicketflashProcess, StatusWithNoLocalPrinterShowsNotReadyAndSaysThereIsNone) {
    int exitCode = -1;
    json report = runJson({"status"}, &exitCode);
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(report["status"], "Not Ready");
    EXPECT_EQ(messageTexts(report), std::vector<std::string>{"Not Ready"});
    EXPECT_EQ(report["messages"][0]["caption"], "Error");
    EXPECT_EQ(report["probe"], "no-printer");
}

// The environment leaves the Linux backend's own log off, so that --log alone must bring every
// line out, the formatted ones ("IP address = ...") as well as the fixed ones.
TEST_F(TicketflashProcess, LogWritesEveryDiagnosticLineOnStandardErrorOnly) {
    auto simulated = printer({});
    std::vector<std::string> find = {"--json",    "find",   "--ip",
                                     "127.0.0.1", "--port", simulated->port()};
    std::vector<std::string> logging = find;
    logging.insert(logging.begin(), "--log");
    ChildOutcome logged = run(logging);
    ChildOutcome quiet = run(find);
    EXPECT_NE(logged.errors.find("Client: connect() is OK\n"), std::string::npos) << logged.errors;
    EXPECT_NE(logged.errors.find("IP address = 127.0.0.1\n"), std::string::npos) << logged.errors;
    EXPECT_NE(logged.errors.find("\nPort number = " + simulated->port() + "\n"), std::string::npos);
    EXPECT_EQ(quiet.errors, "");
    EXPECT_EQ(logged.output, quiet.output);
}

// --- usage and the single instance ---------------------------------------------------------

TEST_F(TicketflashProcess, RasterPrinterWithoutVariantIsReportedAsABadArgument) {
    auto simulated = printer({"--device-id", RASTER_PRINTER});
    ChildOutcome outcome = run({"upgrade", "--ip", "127.0.0.1", "--port", simulated->port()});
    EXPECT_EQ(outcome.exitCode, 64);
    EXPECT_NE(outcome.errors.find("ticketflash: --variant: "), std::string::npos) << outcome.errors;
    EXPECT_NE(outcome.errors.find("\nUsage: ticketflash"), std::string::npos);
}

TEST_F(TicketflashProcess, BadArgumentEndsWith64NamingItAndShowingTheUsage) {
    ChildOutcome outcome = run({"find", "--port", "70000"});
    EXPECT_EQ(outcome.exitCode, 64);
    EXPECT_NE(outcome.errors.find("--port"), std::string::npos) << outcome.errors;
    EXPECT_NE(outcome.errors.find("Usage: ticketflash"), std::string::npos);
    EXPECT_EQ(outcome.output, "");
}

// A run that touches printers ends with 75 naming the lock and its holder; one that touches
// none (versions) runs beside it.
TEST_F(TicketflashProcess, AnotherInstanceEndsPrinterRunsWith75) {
    // This test holds the marker in the same lock folder, as a running tool would.
    setenv("TICKETFLASH_LOCK_DIR", folder_.c_str(), 1);
    PlatformError error;
    MarkerHandle marker = kernelService->createMarker("KQ_TOOLS", &error);
    ASSERT_FALSE(platformFailed(error));
    int exitCode = -1;
    json report = runJson({"probe"}, &exitCode);
    ChildOutcome plain = run({"status"});
    json versions = runJson({"versions"}, &exitCode);
    int versionsExitCode = exitCode;
    kernelService->releaseMarker(marker);
    unsetenv("TICKETFLASH_LOCK_DIR");
    EXPECT_EQ(report["exitCode"], 75);
    EXPECT_EQ(
        messageTexts(report),
        std::vector<std::string>{"Another KQ tool is currently running\rPlease try again latter"});
    EXPECT_NE(plain.errors.find("refused by the lock " + folder_ +
                                "/KQ_TOOLS.lock, held by process " + std::to_string(getpid())),
              std::string::npos)
        << plain.errors;
    EXPECT_EQ(versionsExitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/KQ_TOOLS.lock"));
}

// --- upgrades that end before the image ----------------------------------------------------

TEST_F(TicketflashProcess, SameVersionQuestionWithoutTerminalOrYesIsDeclined) {
    auto simulated = printer({"--device-id", UP_TO_DATE_G_PRINTER});
    int exitCode = -1;
    json report = runJson({"upgrade", "--ip", "127.0.0.1", "--port", simulated->port()}, &exitCode);
    EXPECT_EQ(exitCode, 2);
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["text"], "New version same as old version, continue?");
    EXPECT_EQ(report["messages"][0]["caption"], "Firmware update");
    EXPECT_EQ(report["messages"][0]["answer"], "No");
    EXPECT_FALSE(simulated->received("flash-mode"));
}

TEST_F(TicketflashProcess, SameVersionQuestionOnATerminalTakesTheTypedAnswer) {
    auto simulated = printer({"--device-id", UP_TO_DATE_G_PRINTER});
    auto tool = start({"upgrade", "--ip", "127.0.0.1", "--port", simulated->port()}, true);
    tool->waitForOutput("[y/N]", 20000);
    tool->typeOnTerminal("n\n");
    ChildOutcome outcome = tool->finish(20000);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.output.find("[Firmware update] New version same as old version, continue?"),
              std::string::npos)
        << outcome.output;
    EXPECT_FALSE(simulated->received("flash-mode"));
}

struct UnstartedUpgradeCase {
    const char* name;
    std::vector<std::string> printerOptions;
    std::vector<std::string> upgradeOptions;
    int exitCode;
    std::vector<std::string> messages;
    bool flashModeSent;
    bool placeholderImage = false; // the case needs slot 0 to hold a placeholder
};

class UnstartedUpgrade : public TicketflashProcess,
                         public testing::WithParamInterface<UnstartedUpgradeCase> {};

TEST_P(UnstartedUpgrade, WritesNothingAndSaysWhy) {
    const UnstartedUpgradeCase& example = GetParam();
    if (example.placeholderImage && !firmwareBuildRecords[0].placeholder) {
        GTEST_SKIP() << "slot 0 holds a release image";
    }
    auto simulated = printer(example.printerOptions);
    std::vector<std::string> arguments = {"upgrade", "--ip", "127.0.0.1", "--port",
                                          simulated->port()};
    arguments.insert(arguments.end(), example.upgradeOptions.begin(), example.upgradeOptions.end());
    int exitCode = -1;
    json report = runJson(arguments, &exitCode);
    EXPECT_EQ(exitCode, example.exitCode);
    EXPECT_EQ(messageTexts(report), example.messages);
    EXPECT_EQ(report["bytesSent"], 0);
    EXPECT_EQ(report["verified"], false);
    EXPECT_FALSE(simulated->sawEvent("reset"));
    EXPECT_EQ(simulated->received("flash-mode"), example.flashModeSent);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, UnstartedUpgrade,
    testing::Values(
        UnstartedUpgradeCase{"PrinterNotReady",
                             {"--device-id", READY_G_PRINTER, "--not-ready"},
                             {"--yes"},
                             1,
                             {},
                             false},
        UnstartedUpgradeCase{"FlashModeRefused",
                             {"--device-id", READY_G_PRINTER, "--refuse-flash-mode"},
                             {"--yes"},
                             1,
                             {"Failed to entered flash programming mode",
                              "The printer may be waiting in flash mode: power-cycle it before "
                              "using it again"},
                             true},
        UnstartedUpgradeCase{
            "RasterWithoutVariant", {"--device-id", RASTER_PRINTER}, {}, 64, {}, false},
        UnstartedUpgradeCase{"VariantForAPrinterWithout",
                             {"--device-id", READY_G_PRINTER},
                             {"--variant", "2"},
                             64,
                             {},
                             false},
        // No model: no firmware is offered, the probe's own box is all that is shown.
        UnstartedUpgradeCase{"UnidentifiedPrinter",
                             {"--device-id", "MFG:ACME;CMD:ESC/POS;FWV:V2.05;"},
                             {"--yes"},
                             1,
                             {"Printer model NOT found in ID!"},
                             false},
        UnstartedUpgradeCase{"PlaceholderForARealPrinter",
                             {"--device-id", "MFG:ACME;CMD:G;MDL:VRE G;FWV:V1.00;"},
                             {"--yes"},
                             1,
                             {"This program carries no real firmware for this printer (its "
                              "images are placeholders for the printer simulator), nothing was "
                              "sent to it"},
                             false,
                             true}),
    [](const testing::TestParamInfo<UnstartedUpgradeCase>& instance) {
        return instance.param.name;
    });

// The entry chosen in the combo box sets the caption and the image, also the entry that the probe
// had already selected. The printer then refuses flash mode, so that nothing is written.
struct VariantCase {
    const char* name;
    const char* variant;
    const char* caption;
};

class RasterVariant : public TicketflashProcess, public testing::WithParamInterface<VariantCase> {};

TEST_P(RasterVariant, IsChosenInTheComboBoxBeforeTheUpgrade) {
    auto simulated = printer({"--device-id", RASTER_PRINTER, "--refuse-flash-mode"});
    int exitCode = -1;
    json report = runJson({"upgrade", "--ip", "127.0.0.1", "--port", simulated->port(), "--variant",
                           GetParam().variant},
                          &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(report["caption"], GetParam().caption);
    EXPECT_EQ(report["upgradeEnabled"], true);
    EXPECT_TRUE(simulated->received("flash-mode"));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RasterVariant,
    testing::Values(
        VariantCase{"First", "1", "Update VRK-54 printer to V2.02a  LOGIC BD II (V2.02a)?"},
        VariantCase{"Second", "2", "Update VRK-54 printer to V2.01b LOGIC BD II (V2.01b)?"}),
    [](const testing::TestParamInfo<VariantCase>& instance) { return instance.param.name; });

// --- interrupts ------------------------------------------------------------------------------

// Two moments before the flash-mode request: the probe waiting for a status the printer never
// sends, and the upgrade command just after its own readiness check, half a second before its
// request. Either way the run ends with nothing sent that changes the printer.
TEST_F(TicketflashProcess, InterruptBeforeTheFlashModeRequestEndsTheRunWithNothingWritten) {
    struct Moment {
        std::vector<std::string> printerOptions;
        size_t statusRequests; // the interrupt comes once the printer has had this many
    };
    const Moment moments[] = {{{"--silent-on", "status"}, 1}, {{}, 2}};
    for (const Moment& moment : moments) {
        std::vector<std::string> options = {"--device-id", READY_G_PRINTER};
        options.insert(options.end(), moment.printerOptions.begin(), moment.printerOptions.end());
        auto simulated = printer(options);
        auto tool =
            start({"--json", "upgrade", "--yes", "--ip", "127.0.0.1", "--port", simulated->port()});
        auto statusRequests = [&] {
            size_t count = 0;
            for (const json& event : simulated->eventsOf("command")) {
                count += event.value("command", "") == "status" ? 1 : 0;
            }
            return count;
        };
        for (int waited = 0; waited < 20000 && statusRequests() < moment.statusRequests;
             waited += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        tool->signal(SIGINT);
        ChildOutcome outcome = tool->finish(30000);
        EXPECT_EQ(outcome.exitCode, 2) << moment.statusRequests;
        json report = json::parse(outcome.output, nullptr, false);
        EXPECT_EQ(report["exitCode"], 2);
        EXPECT_FALSE(simulated->received("flash-mode")) << moment.statusRequests;
    }
}

TEST_F(TicketflashProcess, InterruptWhileAQuestionWaitsEndsTheRunAtOnce) {
    auto simulated = printer({"--device-id", UP_TO_DATE_G_PRINTER});
    auto tool = start({"upgrade", "--ip", "127.0.0.1", "--port", simulated->port()}, true);
    tool->waitForOutput("[y/N]", 20000);
    tool->signal(SIGTERM);
    ChildOutcome outcome = tool->finish(10000);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.output.find("Interrupted; nothing was written"), std::string::npos)
        << outcome.output;
}

// --- the lock of each printer ----------------------------------------------------------------

// The first run waits for the status that its printer never answers, holding that printer's
// lock meanwhile. A second run on that printer refuses; a run on another printer, or beside a
// run that holds the machine's spooler marker, does not.
TEST_F(TicketflashProcess, TwoRunsNeverWorkOnOnePrinterAtOnce) {
    auto busy = printer({"--device-id", READY_G_PRINTER, "--silent-on", "status"});
    auto other = printer({"--device-id", READY_G_PRINTER});
    auto first = start({"--json", "upgrade", "--yes", "--ip", "127.0.0.1", "--port", busy->port()});
    ASSERT_TRUE(busy->waitFor("status", 20000));
    int exitCode = -1;
    json second = runJson({"find", "--ip", "127.0.0.1", "--port", busy->port()}, &exitCode);
    EXPECT_EQ(exitCode, 75);
    // The refusal names the lock and its holder; the holder removes the file as its run ends.
    std::string lock = folder_ + "/ticketflash-printer-127.0.0.1-" + busy->port() + ".lock";
    std::vector<std::string> refusal = messageTexts(second);
    ASSERT_EQ(refusal.size(), 1u);
    EXPECT_EQ(refusal[0].rfind("Another run is working on the printer at 127.0.0.1:" +
                                   busy->port() + " (the lock " + lock + ", held by process ",
                               0),
              0u)
        << refusal[0];
    setenv("TICKETFLASH_LOCK_DIR", folder_.c_str(), 1);
    PlatformError error;
    MarkerHandle machine = kernelService->createMarker("KQ_TOOLS", &error);
    json third = runJson({"find", "--ip", "127.0.0.1", "--port", other->port()}, &exitCode);
    kernelService->releaseMarker(machine);
    unsetenv("TICKETFLASH_LOCK_DIR");
    EXPECT_FALSE(platformFailed(error));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(third["status"], "Found Printer - Printer ready");
    first->signal(SIGINT);
    EXPECT_EQ(first->finish(30000).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

// --- fleet runs in real time: the printers' 15 s and 25 s waits run side by side ------------

class FleetProcess : public TicketflashProcess {
  protected:
    // The inventory of the printers, one line each, with a comment and a blank line.
    std::string inventory(const std::vector<const SimulatedPrinterProcess*>& printers) const {
        std::string path = folder_ + "/inventory";
        std::ofstream file(path);
        file << "# the venue's printers\n\n";
        for (const SimulatedPrinterProcess* simulated : printers) {
            file << "127.0.0.1:" << simulated->port() << "\n";
        }
        return path;
    }

    static std::vector<std::string> outcomes(const json& report) {
        std::vector<std::string> list;
        for (const json& printer : report["printers"]) {
            list.push_back(printer["outcome"]);
        }
        return list;
    }
};

TEST_F(FleetProcess, FleetRealTimeUpgradesTheRestWhenOnePrinterFails) {
    auto first = printer({"--device-id", READY_G_PRINTER});
    auto second = printer({"--device-id", READY_G_PRINTER});
    auto faulty = printer({"--device-id", READY_G_PRINTER, "--close-after-image-bytes", "4096"});
    auto current = printer({"--device-id", UP_TO_DATE_G_PRINTER});
    std::string path = inventory({first.get(), second.get(), faulty.get(), current.get()});
    ChildOutcome outcome = start({"--json", "fleet", "--yes", path})->finish(150000);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.errors;
    json report = json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << outcome.output;
    EXPECT_EQ(outcomes(report),
              (std::vector<std::string>{"upgraded", "upgraded", "failed", "current"}));
    EXPECT_EQ(report["summary"], json({{"upgraded", 2},
                                       {"repaired", 0},
                                       {"current", 1},
                                       {"skipped", 0},
                                       {"failed", 1},
                                       {"notFound", 0},
                                       {"notStarted", 0}}));
    for (int index : {0, 1}) {
        EXPECT_EQ(report["printers"][index]["newVersion"], G_IMAGE + ";");
        EXPECT_EQ(report["printers"][index]["verified"], true);
        EXPECT_EQ(report["printers"][index]["bytesSent"], G_IMAGE_BYTES_SENT);
    }
    const json& failed = report["printers"][2];
    EXPECT_EQ(failed["exitCode"], 1);
    EXPECT_EQ(failed["verified"], false);
    // The reason is the child's verdict, in the words a single run closes with.
    EXPECT_EQ(failed["reason"].get<std::string>().rfind(
                  "Upgrade failed: a write error stopped the image", 0),
              0u)
        << failed["reason"];
    EXPECT_FALSE(current->received("flash-mode"));
}

// One printer at a time: the first printer's upgrade has begun when Ctrl-C comes, so it
// finishes; the second printer is never put into flash mode. The fleet leads a process group of
// its own and Ctrl-C goes to the whole group, as a terminal sends it: the child runs, in groups
// of their own, get it from the fleet alone, once. Ctrl-C comes while the child enters flash
// mode: the child deals with it when that step has ended, its writer then running.
TEST_F(FleetProcess, FleetRealTimeInterruptFinishesTheImageBeingWrittenAndStartsNoOther) {
    auto first = printer({"--device-id", READY_G_PRINTER});
    auto second = printer({"--device-id", READY_G_PRINTER});
    std::string path = inventory({first.get(), second.get()});
    ChildProcess tool("/usr/bin/setsid",
                      {TICKETFLASH_PATH, "--json", "fleet", "--jobs", "1", "--yes", path},
                      environment());
    ASSERT_TRUE(first->waitFor("flash-confirm", 30000));
    tool.signalGroup(SIGINT);
    ChildOutcome outcome = tool.finish(120000);
    EXPECT_EQ(outcome.exitCode, 2) << outcome.errors;
    json report = json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << outcome.output;
    EXPECT_EQ(outcomes(report), (std::vector<std::string>{"upgraded", "skipped"}));
    EXPECT_EQ(messageTexts(report["printers"][0]),
              std::vector<std::string>{"Cannot exit while printer FW is being updated"});
    EXPECT_EQ(report["printers"][1]["reason"], "interrupted before its upgrade started");
    EXPECT_TRUE(first->sawEvent("reset"));
    EXPECT_FALSE(second->received("flash-mode"));
}

// More than a handful of printers: the first is the canary. It refuses flash mode, so no other
// printer is put into flash mode, and the run says why.
TEST_F(FleetProcess, FleetCanaryThatFailsLeavesTheRestNotStarted) {
    auto canary = printer({"--device-id", READY_G_PRINTER, "--refuse-flash-mode"});
    std::vector<std::unique_ptr<SimulatedPrinterProcess>> rest;
    std::vector<const SimulatedPrinterProcess*> all = {canary.get()};
    for (int index = 0; index < 4; ++index) {
        rest.push_back(printer({"--device-id", READY_G_PRINTER}));
        all.push_back(rest.back().get());
    }
    ChildOutcome outcome = start({"--json", "fleet", "--yes", inventory(all)})->finish(60000);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.errors;
    json report = json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << outcome.output;
    EXPECT_EQ(outcomes(report), (std::vector<std::string>{"failed", "not-started", "not-started",
                                                          "not-started", "not-started"}));
    EXPECT_EQ(report["printers"][4]["reason"],
              "the canary 127.0.0.1:" + canary->port() + " was not verified (--canary)");
    for (const auto& other : rest) {
        EXPECT_FALSE(other->received("flash-mode"));
    }
}

TEST_F(FleetProcess, BadInventoryLineIsAUsageErrorBeforeAnythingIsSent) {
    auto simulated = printer({"--device-id", READY_G_PRINTER});
    std::string path = folder_ + "/inventory";
    std::ofstream(path) << "127.0.0.1:" << simulated->port() << "\n127.0.0.1:" << simulated->port()
                        << " variant=1\n";
    ChildOutcome outcome = run({"fleet", "--yes", path});
    EXPECT_EQ(outcome.exitCode, 64);
    EXPECT_NE(outcome.errors.find(path + ": line 2: 127.0.0.1:" + simulated->port() +
                                  " is already listed on line 1"),
              std::string::npos)
        << outcome.errors;
    EXPECT_TRUE(simulated->events().empty());
}

// --- one whole upgrade in real time: 15 s, the image, 25 s and the closing probe -------------

TEST_F(TicketflashProcess, RealTimeUpgradeRefusesAnInterruptWhileWritingAndConfirmsTheVersion) {
    auto simulated = printer({"--device-id", READY_G_PRINTER});
    auto tool = start(
        {"--json", "upgrade", "--progress", "--ip", "127.0.0.1", "--port", simulated->port()});
    // The writer's first progress line, as it begins its 15 s wait before the image.
    ASSERT_NE(tool->waitForErrors("Delaying 15 seconds", 30000).find("Delaying"),
              std::string::npos);
    tool->signal(SIGINT);
    ChildOutcome outcome = tool->finish(120000);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    json report = json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << outcome.output;
    EXPECT_EQ(messageTexts(report),
              std::vector<std::string>{"Cannot exit while printer FW is being updated"});
    EXPECT_EQ(report["image"], G_IMAGE);
    EXPECT_EQ(report["bytesSent"], G_IMAGE_BYTES_SENT);
    EXPECT_EQ(report["newVersion"], G_IMAGE + ";");
    EXPECT_EQ(report["verified"], true);
    EXPECT_EQ(report["status"], "Found Printer - Printer ready");
}

// Nothing the front end meets stops the writer: standard output closed from the start (as by
// `| head`), and a hang-up during the delay and another during the image, both refused. The
// first comes while the tool enters flash mode; it is dealt with when that step has ended, in
// the writer's 15 s wait.
TEST_F(TicketflashProcess, RealTimeUpgradeOutlivesAClosedOutputAndHangUps) {
    auto simulated = printer({"--device-id", READY_G_PRINTER});
    auto tool = start({"upgrade", "--yes", "--ip", "127.0.0.1", "--port", simulated->port()});
    tool->closeOutput();
    ASSERT_TRUE(simulated->waitFor("flash-confirm", 20000));
    tool->signal(SIGHUP);
    // The first image bytes arrive after the 15 s delay.
    ASSERT_TRUE(simulated->waitForMore("write", simulated->eventsOf("write").size(), 20000));
    tool->signal(SIGHUP);
    ChildOutcome outcome = tool->finish(120000);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    std::vector<json> resets = simulated->eventsOf("reset");
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0]["size"], G_IMAGE_BYTES_SENT);
    EXPECT_NE(resets[0].value("detail", "").find(" " + G_IMAGE), std::string::npos)
        << resets[0].dump();
}

// A power cut mid-image leaves the printer half-written: it comes back with firmware "CORRUPT"
// and not ready. The history knows the upgrade did not finish, so the next upgrade rewrites the
// same image, and only the version read back makes it a success.
TEST_F(TicketflashProcess, RealTimeRepairRewritesTheImageAPowerCutLeftHalfWritten) {
    auto simulated =
        printer({"--device-id", READY_G_PRINTER, "--power-cut-after-image-bytes", "100000"});
    std::vector<std::string> upgrade = {"upgrade",   "--yes",  "--ip",
                                        "127.0.0.1", "--port", simulated->port()};
    int exitCode = -1;
    json cut = runJson(upgrade, &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(cut["failure"], "write-error") << cut.dump(2);
    EXPECT_EQ(cut["version"], "CORRUPT;");
    EXPECT_EQ(cut["repairOffered"], true);
    json repaired = runJson(upgrade, &exitCode);
    EXPECT_EQ(exitCode, 0) << repaired.dump(2);
    EXPECT_EQ(repaired["repair"], true);
    EXPECT_EQ(repaired["verified"], true);
    EXPECT_EQ(repaired["newVersion"], G_IMAGE + ";");
    std::vector<json> resets = simulated->eventsOf("reset");
    ASSERT_EQ(resets.size(), 2u);
    EXPECT_EQ(resets[1]["size"], G_IMAGE_BYTES_SENT);
    json history =
        runJson({"history", "--ip", "127.0.0.1", "--port", simulated->port()}, &exitCode);
    ASSERT_EQ(history["entries"].size(), 2u) << history.dump(2);
    EXPECT_EQ(history["entries"][0]["state"], "failed");
    EXPECT_EQ(history["entries"][1]["state"], "verified");
    EXPECT_EQ(history["entries"][1]["repair"], true);
}

} // namespace
