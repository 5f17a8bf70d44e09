// The fleet run in-process, its child runs played by the process double: which printers are
// probed and upgraded, how many at once, how each child's report is judged, and what an
// interrupt does.
#include "cli/fleet.h"
#include "cli/fleet_printer.h"

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

const json READY_G = {{"status", "Found Printer - Printer ready"},
                      {"ready", true},
                      {"model", "VRE G"},
                      {"version", "V1.00;"},
                      {"caption", "Update G printer to new version? (V1.12)"},
                      {"upgradeEnabled", true},
                      {"variants", {"STD LOGIC BD I", "Qorvel LOGIC BD I"}},
                      {"messages", json::array()}};

json withKey(json report, const char* key, const json& value) {
    report[key] = value;
    return report;
}

const json RASTER =
    withKey(withKey(withKey(withKey(READY_G, "model", "VRK-54"), "upgradeEnabled", false),
                    "caption", "Update VRK-54 printer FW file not selected"),
            "variants", {"V2.02a  LOGIC BD II", "V2.01b LOGIC BD II"});
const json NOT_FOUND = {{"status", "Did not find Ethernet attached printer"},
                        {"messages", json::array()}};
const json LOCKED = {
    {"messages", {{{"caption", "Error"}, {"text", "Another run is working on the printer"}}}}};

// --- the verdict on each child's report -------------------------------------------------------

struct ProbeCase {
    const char* name;
    json report;
    int exitCode;
    int variant;
    bool reinstall;
    FleetOutcome outcome;
    const char* image;
    const char* reason;
};

class ProbeVerdicts : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeVerdicts, DecideWhatBecomesOfThePrinter) {
    const ProbeCase& example = GetParam();
    FleetPrinter printer;
    printer.where.variant = example.variant;
    judgeProbe(&printer, example.exitCode, example.report.dump(), "", example.reinstall);
    EXPECT_EQ(printer.outcome, example.outcome);
    EXPECT_EQ(printer.image, example.image);
    EXPECT_EQ(printer.reason, example.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProbeVerdicts,
    testing::Values(
        ProbeCase{"OlderVersion", READY_G, 0, 0, false, FLEET_OUTCOME_OPEN, "V1.12", ""},
        ProbeCase{"SameVersion", withKey(READY_G, "version", "V1.12;"), 0, 0, false,
                  FLEET_OUTCOME_CURRENT, "V1.12", ""},
        ProbeCase{"SameVersionReinstalled", withKey(READY_G, "version", "V1.12;"), 0, 0, true,
                  FLEET_OUTCOME_OPEN, "V1.12", ""},
        ProbeCase{"LongerVersionIsNotTheImage", withKey(READY_G, "version", "V1.12b;"), 0, 0, false,
                  FLEET_OUTCOME_OPEN, "V1.12", ""},
        ProbeCase{"RasterWithoutVariant", RASTER, 0, 0, false, FLEET_OUTCOME_SKIPPED, "",
                  "a raster printer: give it variant=1 or variant=2 in the inventory"},
        ProbeCase{"RasterSecondVariant", RASTER, 0, 2, false, FLEET_OUTCOME_OPEN, "V2.01b", ""},
        ProbeCase{"VariantForAPrinterWithout", READY_G, 0, 1, false, FLEET_OUTCOME_FAILED, "",
                  "variant= is given, but this printer has no firmware variants"},
        ProbeCase{"NotReady", withKey(READY_G, "status", "Found Printer - Printer NOT ready"), 1, 0,
                  false, FLEET_OUTCOME_FAILED, "", "Found Printer - Printer NOT ready"},
        ProbeCase{"NotFound", NOT_FOUND, 3, 0, false, FLEET_OUTCOME_NOT_FOUND, "",
                  "Did not find Ethernet attached printer"},
        ProbeCase{"AnotherRunHasIt", LOCKED, 75, 0, false, FLEET_OUTCOME_FAILED, "",
                  "Another run is working on the printer"},
        ProbeCase{"Crashed", json(), -1, 0, false, FLEET_OUTCOME_FAILED, "",
                  "its run ended abnormally"}),
    [](const testing::TestParamInfo<ProbeCase>& instance) { return instance.param.name; });

TEST(UpgradeVerdicts, FollowTheProgressAndJudgeTheClosingVersion) {
    FleetPrinter printer;
    printer.image = "V1.12";
    followProgressLine(&printer, "Programming [#####.........................] 64 of 384 KBytes");
    EXPECT_EQ(printer.phase, "Programming");
    EXPECT_EQ(printer.kbytesDone, 64);
    EXPECT_EQ(printer.kbytesTotal, 384);
    json report = {{"image", "V1.12"},
                   {"bytesSent", 4096},
                   {"newVersion", "CORRUPT;"},
                   {"verified", false},
                   {"messages", {{{"caption", "Error"}, {"text", "Write error = Dec = 104"}}}}};
    judgeUpgrade(&printer, 1, report.dump(), "", false);
    EXPECT_EQ(printer.outcome, FLEET_OUTCOME_FAILED);
    EXPECT_EQ(printer.reason, "Write error = Dec = 104; Upgrade failed: the printer reports "
                              "version CORRUPT;, not V1.12.");
    EXPECT_EQ(printer.bytesSent, 4096u);
    EXPECT_EQ(printer.kbytesDone, 4);
}

// --- whole runs over scripted children ----------------------------------------------------

std::string argumentAfter(const std::vector<std::string>& arguments, const std::string& name) {
    auto found = std::find(arguments.begin(), arguments.end(), name);
    return found == arguments.end() || found + 1 == arguments.end() ? "" : *(found + 1);
}

bool isUpgrade(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "upgrade") != arguments.end();
}

json upgraded(const char* version) {
    return {{"image", "V1.12"},
            {"bytesSent", 393264},
            {"newVersion", version},
            {"verified", true},
            {"messages", json::array()}};
}

class FleetRun : public testing::Test {
  protected:
    void SetUp() override {
        inventory_ = testing::TempDir() + "fleet-inventory-" +
                     testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override { std::remove(inventory_.c_str()); }

    // Runs the fleet with --json over printers on ports 1 to count of 127.0.0.1.
    json run(int count, int jobs, bool yes, int* exitCode) {
        std::ofstream file(inventory_);
        for (int port = 1; port <= count; ++port) {
            file << "127.0.0.1:" << port << "\n";
        }
        file.close();
        CliOptions options;
        options.command = CLI_COMMAND_FLEET;
        options.json = true;
        options.yes = yes;
        options.jobs = jobs;
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
        script.output =
            (port == "4" ? NOT_FOUND
                         : withKey(READY_G, "version", port == "5" ? "V1.12;" : "V1.00;"))
                .dump();
        script.exitCode = port == "4" ? 3 : 0;
        return script;
    }
    script.errors = "Delaying 15 seconds  0 s elapsed\n";
    script.output =
        (port == "3" ? withKey(withKey(upgraded("CORRUPT;"), "verified", false), "bytesSent", 4096)
                     : upgraded("V1.12;"))
            .dump();
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
    EXPECT_EQ(
        report["summary"],
        json({{"upgraded", 2}, {"current", 1}, {"skipped", 0}, {"failed", 1}, {"notFound", 1}}));
    EXPECT_EQ(processes.mostAtOnce(), 2);
    EXPECT_TRUE(processes.allReleased());
    // Five probes, then an upgrade of the three printers that need one.
    std::vector<std::vector<std::string>> started = processes.started();
    ASSERT_EQ(started.size(), 8u);
    EXPECT_EQ(started[0],
              (std::vector<std::string>{"--json", "find", "--ip", "127.0.0.1", "--port", "1"}));
    EXPECT_EQ(started[7], (std::vector<std::string>{"--json", "upgrade", "--progress", "--yes",
                                                    "--ip", "127.0.0.1", "--port", "3"}));
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

} // namespace
