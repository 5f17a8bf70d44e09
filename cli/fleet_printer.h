#pragma once

// One printer of a fleet run as the run learns about it: what its probe found, which image it
// gets, how its upgrade goes and how it ended. Each step is judged from its child run's record
// stream (cli/record_json.h: the probe's outcome, the writer's progress, the upgrade's verdict
// and the report) and its exit code; nothing is read from the words the child showed.

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
    FLEET_OUTCOME_REPAIRED,    // a printer an earlier upgrade left half-written, rewritten and
                               // verified
    FLEET_OUTCOME_NOT_STARTED, // to be upgraded, but a canary or too many failures stopped the run
};

// How far a printer's child runs have come.
enum FleetStage {
    FLEET_STAGE_WAITING, // none has started
    FLEET_STAGE_PROBING,
    FLEET_STAGE_PROBED, // its probe has ended, or could not be started
    FLEET_STAGE_UPGRADING,
    FLEET_STAGE_UPGRADED, // its upgrade has ended, or could not be started
};

struct FleetPrinter {
    InventoryPrinter where;
    FleetStage stage = FLEET_STAGE_WAITING;
    std::string model;
    std::string version; // as the probe read it
    std::string image;   // the label of the image chosen for it
    std::string phase;   // what happens to it now, as the table shows it
    int kbytesDone = -1; // while the image streams
    int kbytesTotal = -1;
    FleetOutcome outcome = FLEET_OUTCOME_OPEN;
    bool canary = false; // upgraded and verified before the others
    std::string reason;  // why it failed, was skipped or was not started
    uint64_t bytesSent = 0;
    std::string newVersion;
    bool verified = false;
    nlohmann::json messages = nlohmann::json::array();
    int exitCode = -1; // of its last child run
    // The last record of each kind its current child run sent (null before the first).
    nlohmann::json probe;
    nlohmann::json verdict;
    nlohmann::json report;
};

// "10.0.0.7:10001"
std::string printerName(const FleetPrinter& printer);

// A new child run: the records of the last one are forgotten.
void startChildRecords(FleetPrinter* printer);

// One line of the child's record stream: its record is kept and the phase and KBytes shown for
// the printer follow it. A line that is no record of the stream is passed over.
void followRecordLine(FleetPrinter* printer, const std::string& line);

// The probe's verdict once its child has ended. The printer stays open when its version differs
// from its image's (or when reinstall is asked for); otherwise it is current, skipped, failed or
// not found.
void judgeProbe(FleetPrinter* printer, int exitCode, bool reinstall);

// The upgrade's verdict once its child has ended. interrupted: the fleet run asked it to stop.
void judgeUpgrade(FleetPrinter* printer, int exitCode, bool interrupted);

// The word of the JSON report for an outcome: "planned" (the upgrade of a dry run's plan),
// "upgraded", "current", "skipped", "failed", "not-found", "repaired", "not-started".
const char* outcomeName(FleetOutcome outcome);

// Whether the printer ended with its image verified.
bool fleetVerified(const FleetPrinter& printer);
