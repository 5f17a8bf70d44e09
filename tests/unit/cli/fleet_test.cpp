// The fleet run in-process, its child runs played by the process double: which printers are
// probed and upgraded, how many at once, how each child's report is judged, and what an
// interrupt does.
#include "cli/fleet.h"
#include "cli/fleet_printer.h"
#include "cli/record_json.h"
#include "identity/firmware_selection.h"

#include "tests/doubles/console_double.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/process_double.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// A child's record stream as the child writes it: its records, then its report.
std::string streamOf(const std::vector<std::string>& records,
                     const json& messages = json::array()) {
    std::string lines;
    for (const std::string& record : records) {
        lines += record + "\n";
    }
    return lines + recordStreamLine("report", {{"messages", messages}}) + "\n";
}

std::string probeLine(ProbeResult result, const char* model, const char* version, const char* image,
                      bool raster = false) {
    ProbeOutcome probe = beginProbeOutcome(PROBE_KIND_ETHERNET);
    probe.result = result;
    probe.status = result == PROBE_RESULT_NO_PRINTER ? "Did not find Ethernet attached printer"
                   : result == PROBE_RESULT_READY    ? "Found Printer - Printer ready"
                                                     : "Found Printer - Printer NOT ready";
    copyOutcomeText(probe.model, sizeof probe.model, model);
    copyOutcomeText(probe.version, sizeof probe.version, version);
    copyOutcomeText(probe.image, sizeof probe.image, image);
    probe.variantNames = raster ? variantNamesLogicII : variantNamesLogicI;
    probe.variantImages = raster ? variantVersionsLogicII : nullptr;
    return recordStreamLine("probe", probeOutcomeJson(probe));
}

const std::string READY_G = probeLine(PROBE_RESULT_READY, "VRE G", "V1.00;", "V1.12");
const std::string CURRENT_G = probeLine(PROBE_RESULT_READY, "VRE G", "V1.12;", "V1.12");
const std::string NOT_FOUND = probeLine(PROBE_RESULT_NO_PRINTER, "", "", "");

// --- the verdict on each child's records ------------------------------------------------------

struct ProbeCase {
    const char* name;
    std::string stream;
    int exitCode;
    int variant;
    bool reinstall;
    FleetOutcome outcome;
    const char* image;
    const char* reason;
};

FleetPrinter followed(const std::string& stream) {
    FleetPrinter printer;
    size_t start = 0;
    for (size_t end; (end = stream.find('\n', start)) != std::string::npos; start = end + 1) {
        followRecordLine(&printer, stream.substr(start, end - start));
    }
    return printer;
}

class ProbeVerdicts : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeVerdicts, DecideWhatBecomesOfThePrinter) {
    const ProbeCase& example = GetParam();
    FleetPrinter printer = followed(example.stream);
    printer.where.variant = example.variant;
    judgeProbe(&printer, example.exitCode, example.reinstall);
    EXPECT_EQ(printer.outcome, example.outcome);
    EXPECT_EQ(printer.image, example.image);
    EXPECT_EQ(printer.reason, example.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProbeVerdicts,
    testing::Values(
        ProbeCase{"OlderVersion", streamOf({READY_G}), 0, 0, false, FLEET_OUTCOME_OPEN, "V1.12",
                  ""},
        ProbeCase{"SameVersion", streamOf({CURRENT_G}), 0, 0, false, FLEET_OUTCOME_CURRENT, "V1.12",
                  ""},
        ProbeCase{"SameVersionReinstalled", streamOf({CURRENT_G}), 0, 0, true, FLEET_OUTCOME_OPEN,
                  "V1.12", ""},
        ProbeCase{"LongerVersionIsNotTheImage",
                  streamOf({probeLine(PROBE_RESULT_READY, "VRE G", "V1.12b;", "V1.12")}), 0, 0,
                  false, FLEET_OUTCOME_OPEN, "V1.12", ""},
        ProbeCase{"RasterWithoutVariant",
                  streamOf({probeLine(PROBE_RESULT_READY, "VRK-54", "V2.00;", "", true)}), 0, 0,
                  false, FLEET_OUTCOME_SKIPPED, "",
                  "a raster printer: give it variant=1 or variant=2 in the inventory"},
        ProbeCase{"RasterSecondVariant",
                  streamOf({probeLine(PROBE_RESULT_READY, "VRK-54", "V2.00;", "", true)}), 0, 2,
                  false, FLEET_OUTCOME_OPEN, variantVersionsLogicII[1], ""},
        ProbeCase{"VariantForAPrinterWithout", streamOf({READY_G}), 0, 1, false,
                  FLEET_OUTCOME_FAILED, "",
                  "variant= is given, but this printer has no firmware variants"},
        ProbeCase{"NotReady", streamOf({probeLine(PROBE_RESULT_NOT_READY, "VRE G", "V1.00;", "")}),
                  1, 0, false, FLEET_OUTCOME_FAILED, "", "Found Printer - Printer NOT ready"},
        ProbeCase{"NotFound", streamOf({NOT_FOUND}), 3, 0, false, FLEET_OUTCOME_NOT_FOUND, "",
                  "Did not find Ethernet attached printer"},
        ProbeCase{"AnotherRunHasIt",
                  streamOf({}, {{{"caption", "Error"},
                                 {"text", "Another run is working on the printer"}}}),
                  75, 0, false, FLEET_OUTCOME_FAILED, "", "Another run is working on the printer"},
        ProbeCase{"Crashed", "", -1, 0, false, FLEET_OUTCOME_FAILED, "",
                  "its run ended abnormally"}),
    [](const testing::TestParamInfo<ProbeCase>& instance) { return instance.param.name; });

UpgradeVerdict writtenVerdict(UpgradeFailure failure, const char* newVersion, uint32_t bytes) {
    UpgradeVerdict verdict = startingUpgradeVerdict();
    verdict.result =
        failure == UPGRADE_FAILURE_NONE ? UPGRADE_RESULT_VERIFIED : UPGRADE_RESULT_FAILED;
    verdict.failure = failure;
    verdict.writerStarted = true;
    verdict.flashModeRequested = true;
    copyOutcomeText(verdict.image, sizeof verdict.image, "V1.12");
    copyOutcomeText(verdict.newVersion, sizeof verdict.newVersion, newVersion);
    verdict.bytesAccepted = bytes;
    verdict.imageSize = 393264;
    return verdict;
}

std::string verdictLine(const UpgradeVerdict& verdict) {
    return recordStreamLine("verdict", upgradeVerdictJson(verdict));
}

// A printer that was never read after its image is not said to run any version.
TEST(UpgradeVerdicts, FollowTheProgressAndJudgeFromTheVerdict) {
    WriterProgress progress = {WRITER_PHASE_IMAGE, 0, 64 * 1024, 384 * 1024};
    FleetPrinter printer =
        followed(streamOf({recordStreamLine("progress", writerProgressJson(progress))}));
    EXPECT_EQ(printer.phase, "Programming");
    EXPECT_EQ(printer.kbytesDone, 64);
    EXPECT_EQ(printer.kbytesTotal, 384);
    followRecordLine(&printer,
                     verdictLine(writtenVerdict(UPGRADE_FAILURE_VERSION_NOT_READ, "", 393264)));
    judgeUpgrade(&printer, 1, false);
    EXPECT_EQ(printer.outcome, FLEET_OUTCOME_FAILED);
    EXPECT_EQ(printer.reason, "Upgrade not confirmed: the printer could not be read after the "
                              "upgrade, so it is not known to run V1.12.");
    EXPECT_EQ(printer.bytesSent, 393264u);
    EXPECT_EQ(printer.newVersion, "");
    EXPECT_EQ(printer.kbytesDone, 384);
}

// --- whole runs over scripted children ----------------------------------------------------

std::string argumentAfter(const std::vector<std::string>& arguments, const std::string& name) {
    auto found = std::find(arguments.begin(), arguments.end(), name);
    return found == arguments.end() || found + 1 == arguments.end() ? "" : *(found + 1);
}

bool isUpgrade(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "upgrade") != arguments.end();
}

class FleetRun : public testing::Test {
  protected:
    void SetUp() override {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-'); // a table's case
        inventory_ = testing::TempDir() + "fleet-inventory-" + name;
    }
    void TearDown() override { std::remove(inventory_.c_str()); }

    // Runs the fleet with --json over printers on ports 1 to count of 127.0.0.1.
    json run(int count, int jobs, bool yes, int* exitCode) {
        CliOptions options;
        options.yes = yes;
        options.jobs = jobs;
        return run(count, options, exitCode);
    }

    json run(int count, CliOptions options, int* exitCode) {
        std::ofstream file(inventory_);
        for (int port = 1; port <= count; ++port) {
            file << "127.0.0.1:" << port << "\n";
        }
        file.close();
        options.command = CLI_COMMAND_FLEET;
        options.json = true;
        options.inventory = inventory_;
        testing::internal::CaptureStdout();
        *exitCode = runFleet(options);
        return json::parse(testing::internal::GetCapturedStdout(), nullptr, false);
    }

    std::vector<std::string> outcomes(const json& report) {
        std::vector<std::string> list;
        for (const json& printer : report["printers"]) {
            list.push_back(printer["outcome"]);
        }
        return list;
    }

    KernelDouble kernel_;
    ConsoleDouble console_;
    std::string inventory_;
};

// Port 3's printer drops the image, port 4 has no printer, port 5 already runs the image.
ChildScript venue(const std::vector<std::string>& arguments) {
    std::string port = argumentAfter(arguments, "--port");
    ChildScript script;
    script.looks = 3;
    if (!isUpgrade(arguments)) {
        script.output = streamOf({port == "4" ? NOT_FOUND : port == "5" ? CURRENT_G : READY_G});
        script.exitCode = port == "4" ? 3 : 0;
        return script;
    }
    UpgradeVerdict verdict = port == "3"
                                 ? writtenVerdict(UPGRADE_FAILURE_WRITE_ERROR, "CORRUPT;", 4096)
                                 : writtenVerdict(UPGRADE_FAILURE_NONE, "V1.12;", 393264);
    script.output = streamOf({READY_G, verdictLine(verdict)});
    script.exitCode = port == "3" ? 1 : 0;
    return script;
}

TEST_F(FleetRun, WorksOnAtMostJobsPrintersAtOnceAndReportsEach) {
    ProcessDouble processes(venue);
    int exitCode = -1;
    json report = run(5, 2, true, &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(report["exitCode"], 1);
    EXPECT_EQ(outcomes(report),
              (std::vector<std::string>{"upgraded", "upgraded", "failed", "not-found", "current"}));
    EXPECT_EQ(report["summary"], json({{"upgraded", 2},
                                       {"repaired", 0},
                                       {"current", 1},
                                       {"skipped", 0},
                                       {"failed", 1},
                                       {"notFound", 1},
                                       {"notStarted", 0}}));
    EXPECT_EQ(processes.mostAtOnce(), 2);
    EXPECT_TRUE(processes.allReleased());
    // Five probes, then an upgrade of the three printers that need one.
    std::vector<std::vector<std::string>> started = processes.started();
    ASSERT_EQ(started.size(), 8u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"--json-lines", "find", "--ip", "127.0.0.1",
                                                    "--port", "1"}));
    EXPECT_EQ(started[7], (std::vector<std::string>{"--json-lines", "upgrade", "--yes", "--ip",
                                                    "127.0.0.1", "--port", "3"}));
}

TEST_F(FleetRun, WithoutATerminalOrYesUpgradesNothing) {
    ProcessDouble processes(venue);
    int exitCode = -1;
    json report = run(2, 16, false, &exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(outcomes(report), (std::vector<std::string>{"skipped", "skipped"}));
    EXPECT_EQ(processes.started().size(), 2u);
}

// Port 1's image is being written when the interrupt comes: its run refuses to stop and ends
// upgraded. Port 2 is still probing in its upgrade run and stops; port 3 never starts.
TEST_F(FleetRun, InterruptLetsTheWrittenImageFinishAndStartsNoOtherPrinter) {
    ProcessDouble processes([this](const std::vector<std::string>& arguments) {
        ChildScript script = venue(arguments);
        if (isUpgrade(arguments) && argumentAfter(arguments, "--port") == "1") {
            script.endsOnInterrupt = false;
            script.looks = 10;
        } else if (isUpgrade(arguments)) {
            console_.interrupt(CONSOLE_INTERRUPT_KEYBOARD);
        }
        return script;
    });
    int exitCode = -1;
    json report = run(3, 2, true, &exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(outcomes(report), (std::vector<std::string>{"upgraded", "skipped", "skipped"}));
    EXPECT_EQ(report["printers"][1]["reason"], "interrupted before its image was sent");
    EXPECT_EQ(report["printers"][2]["reason"], "interrupted before its upgrade started");
    EXPECT_EQ(processes.started().size(), 5u);
    EXPECT_EQ(processes.interrupted().size(), 2u);
}

// Under --yes each upgrade follows its own printer's probe, while port 3's slow probe still
// runs; a canary (port 1) still upgrades alone, the others start once it is verified.
TEST_F(FleetRun, UnderYesAnUpgradeFollowsItsOwnProbe) {
    for (auto [canary, runningAtUpgrades] :
         {std::pair<int, std::vector<int>>{0, {2, 3, 1}}, {1, {2, 2, 1}}}) {
        ProcessDouble* processes = nullptr;
        std::vector<int> running; // at each upgrade's start, itself included
        ProcessDouble double_([&](const std::vector<std::string>& arguments) {
            ChildScript script = venue(arguments);
            if (isUpgrade(arguments)) {
                running.push_back(processes->runningNow());
            } else if (argumentAfter(arguments, "--port") == "3") {
                script.looks = 30;
            }
            return script;
        });
        processes = &double_;
        CliOptions options;
        options.yes = true;
        options.jobs = 3;
        options.canary = canary;
        int exitCode = -1;
        json report = run(3, options, &exitCode);
        EXPECT_EQ(outcomes(report), (std::vector<std::string>{"upgraded", "upgraded", "failed"}));
        EXPECT_EQ(running, runningAtUpgrades) << "--canary " << canary;
    }
}

// --- staged runs: canaries, the failure limit and the dry run ----------------------------------

struct StagedCase {
    const char* name;
    int printers; // of the venue
    int canary;
    int maxFailures;
    bool dryRun;
    std::vector<std::string> outcomes;
    int exitCode;
    long upgradesStarted;
    const char* lastReason;
};

class StagedRuns : public FleetRun, public testing::WithParamInterface<StagedCase> {};

TEST_P(StagedRuns, StopBeforeABadImageReachesTheRest) {
    const StagedCase& example = GetParam();
    ProcessDouble processes(venue);
    CliOptions options;
    options.yes = true;
    options.jobs = 1;
    options.canary = example.canary;
    options.maxFailures = example.maxFailures;
    options.dryRun = example.dryRun;
    int exitCode = -1;
    json report = run(example.printers, options, &exitCode);
    EXPECT_EQ(exitCode, example.exitCode);
    EXPECT_EQ(outcomes(report), example.outcomes);
    EXPECT_EQ(report["printers"].back()["reason"], example.lastReason);
    std::vector<std::vector<std::string>> started = processes.started();
    EXPECT_EQ(std::count_if(started.begin(), started.end(), isUpgrade), example.upgradesStarted);
}

constexpr int AUTOMATIC = CLI_CANARY_AUTOMATIC;
constexpr int LIMIT = CLI_DEFAULT_MAX_FAILURES;

// Port 3's upgrade fails, 4 has no printer, 5 is current (venue above).
INSTANTIATE_TEST_SUITE_P(
    Table, StagedRuns,
    testing::Values(
        StagedCase{"CanaryFailsTheRestAreNotStarted",
                   6,
                   3,
                   LIMIT,
                   false,
                   {"upgraded", "upgraded", "failed", "not-found", "current", "not-started"},
                   1,
                   3,
                   "the canary 127.0.0.1:3 was not verified (--canary)"},
        StagedCase{"CanaryPassesTheRestFollow",
                   8,
                   AUTOMATIC,
                   LIMIT,
                   false,
                   {"upgraded", "upgraded", "failed", "not-found", "current", "upgraded",
                    "upgraded", "upgraded"},
                   1,
                   6,
                   ""},
        StagedCase{"AHandfulHasNoCanary",
                   6,
                   AUTOMATIC,
                   LIMIT,
                   false,
                   {"upgraded", "upgraded", "failed", "not-found", "current", "upgraded"},
                   1,
                   4,
                   ""},
        StagedCase{"MaxFailuresReached",
                   6,
                   0,
                   1,
                   false,
                   {"upgraded", "upgraded", "failed", "not-found", "current", "not-started"},
                   1,
                   3,
                   "upgrades failed: 1, the limit of --max-failures 1"},
        StagedCase{"DryRunUpgradesNone",
                   6,
                   AUTOMATIC,
                   LIMIT,
                   true,
                   {"planned", "planned", "planned", "not-found", "current", "planned"},
                   0,
                   0,
                   ""}),
    [](const testing::TestParamInfo<StagedCase>& instance) { return instance.param.name; });

} // namespace
