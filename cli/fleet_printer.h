#pragma once

// One printer of a fleet run as the run learns about it: what its probe found, which image it
// gets, how its upgrade goes and how it ended. Each step is judged from what the printer's
// child run said: its exit code, its one JSON object on standard output and, while it
// upgrades, its progress lines on standard error.

#include "cli/fleet_inventory.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

enum FleetOutcome {
    FLEET_OUTCOME_OPEN, // not decided yet: waiting, being probed, or to be upgraded
    FLEET_OUTCOME_UPGRADED,
    FLEET_OUTCOME_CURRENT,
    FLEET_OUTCOME_SKIPPED,
    FLEET_OUTCOME_FAILED,
    FLEET_OUTCOME_NOT_FOUND,
};

struct FleetPrinter {
    InventoryPrinter where;
    std::string model;
    std::string version; // as the probe read it
    std::string image;   // the label of the image chosen for it
    std::string phase;   // what happens to it now, as the table shows it
    int kbytesDone = -1; // while the image streams
    int kbytesTotal = -1;
    bool upgradeStarted = false;
    FleetOutcome outcome = FLEET_OUTCOME_OPEN;
    std::string reason; // why it failed or was skipped
    uint64_t bytesSent = 0;
    std::string newVersion;
    bool verified = false;
    nlohmann::json messages = nlohmann::json::array();
    int exitCode = -1; // of its last child run
};

// "10.0.0.7:10001"
std::string printerName(const FleetPrinter& printer);

// The probe's verdict. The printer stays open when its version differs from its image's (or
// when reinstall is asked for); otherwise it is current, skipped, failed or not found.
void judgeProbe(FleetPrinter* printer, int exitCode, const std::string& output,
                const std::string& errors, bool reinstall);

// One progress line of the upgrade ("Delaying 15 seconds  5 s elapsed", "Programming [###...]
// 128 of 384 KBytes", ...): the phase and KBytes shown for the printer.
void followProgressLine(FleetPrinter* printer, const std::string& line);

// The upgrade's verdict. interrupted: the fleet run asked the child to stop.
void judgeUpgrade(FleetPrinter* printer, int exitCode, const std::string& output,
                  const std::string& errors, bool interrupted);

// The word of the JSON report for an outcome: "upgraded", "current", "skipped", "failed",
// "not-found".
const char* outcomeName(FleetOutcome outcome);
