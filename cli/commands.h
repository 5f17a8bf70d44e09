#pragma once

// The subcommands, each as the commands the user would give the dialog: the probe of the chosen
// route, "Display Versions", "STATUS", and the upgrade followed to its end.

#include "cli/cli_options.h"
#include "dialog/dialog_model.h"

#include <cstdint>
#include <string>

// What a run has found out, for the closing report.
struct RunOutcome {
    int exitCode = CLI_EXIT_DONE;
    std::string closingLine;    // said last, in plain output
    std::string statusOverride; // "status" of the JSON when it is not the probe's status line
    bool showFields = false;    // the dialog's fields close the plain output
    bool upgrade = false;       // the JSON has the keys of an upgrade
    std::string image;          // the label of the image written
    uint64_t bytesSent = 0;
    std::string newVersion;
    bool verified = false;
};

// Runs the subcommand on the started front end (dialog_front.h). The dialog's exit sequence is
// left to the caller.
RunOutcome runCommand(const CliOptions& options);

// Whether the run works on one printer over TCP alone: "find", and an upgrade given an address
// or a port. Such a run never touches the spooler's printers.
bool runsOverTcp(const CliOptions& options);

// The listener of the dialog's changes: the progress of an upgrade, and whether the writer's
// closing probe read the printer's version.
void followDialogChange(const DialogChange& change);

// The dialog's fields as aligned lines.
void printDialogFields();

// Whether an upgrade started a writer, and waiting until that writer's closing probe is done.
bool writerWasStarted();
void waitForWriter();

// The verdict on an upgrade whose writer ran, when the run ends early.
void judgeInterruptedUpgrade(RunOutcome* outcome);
