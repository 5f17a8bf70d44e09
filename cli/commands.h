#pragma once

// The subcommands, each as the commands the user would give the dialog: the probe of the chosen
// route, "Display Versions", "STATUS", and the upgrade followed to its end.

#include "cli/cli_options.h"
#include "outcome/outcomes.h"

#include <nlohmann/json.hpp>
#include <string>

// How a run ends, for the closing report; what it found is in the core's records.
struct RunOutcome {
    int exitCode = CLI_EXIT_DONE;
    std::string closingLine; // said last, in plain output
    bool showFields = false; // the dialog's fields close the plain output
    bool upgrade = false;    // the JSON has the keys of an upgrade
};

// Runs the subcommand's commands (its row in subcommands.h) on the started front end
// (dialog_front.h), with the USB printer that --device picked. The dialog's exit sequence is
// left to the caller.
RunOutcome runCommand(const CliOptions& options);

// The subcommands' commands, each as its row names them: the probe of the chosen route ("probe",
// "find"), "Display Versions", "STATUS", and the upgrade followed to its end.
RunOutcome probeByRoute(const CliOptions& options);
RunOutcome showVersions(const CliOptions& options);
RunOutcome queryStatus(const CliOptions& options);
RunOutcome upgradeFirmware(const CliOptions& options);

// Shows the writer's progress: the live line on a terminal, else the plain lines it deserves.
void showWriterProgress(const WriterProgress& progress);

// The dialog's fields as aligned lines.
void printDialogFields();

// Waits until the writer's closing probe is done.
void waitForWriter();

// The verdict on an upgrade whose writer ran, when the run ends early.
void judgeInterruptedUpgrade(RunOutcome* outcome);

// The --json report of a run: the last probe's keys (record_json.h), the command, every message
// box shown, the upgrade's keys for an upgrade, and the exit code. All of it from the records and
// the boxes as they were shown, never from a control.
nlohmann::json runReport(CliCommand command, const RunOutcome& outcome);
