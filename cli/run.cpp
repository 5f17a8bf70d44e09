#include "cli/run.h"

#include "app/run.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/fleet_inventory.h"
#include "cli/record_json.h"
#include "cli/subcommands.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "platform/console.h"
#include "platform/kernel.h"
#include "platform/spooler.h"
#include "recording/session_recorder.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

namespace {

// The dialog's defaults for the printer's address and port.
constexpr char DEFAULT_IP_ADDRESS[] = "192.168.0.1";
constexpr char DEFAULT_TCP_PORT[] = "10001";

CliOptions runOptions;
std::atomic<bool> runEnded{false};
// What the start's recovery of an interrupted run said; empty when there was nothing to do.
std::string recoveryText;
KernelService loggingKernel;

void logOnStandardError(const char* line) {
    fprintf(stderr, "%s\n", line);
}

bool logWanted() {
    return true;
}

// --log: the diagnostic lines on standard error, whatever the backend does with them.
void installDiagnosticLog() {
    loggingKernel = *kernelService;
    loggingKernel.debugLog = logOnStandardError;
    // The formatted lines too, which are only made when lines are wanted.
    loggingKernel.debugLogWanted = logWanted;
    kernelService = &loggingKernel;
}

// The one JSON object of --json, or the last line of the record stream.
void printReport(const RunOutcome& outcome) {
    nlohmann::json report = runReport(runOptions.command, outcome);
    if (!recoveryText.empty()) {
        report["portsRecovery"] = recoveryText;
    }
    PlatformError recordingError;
    if (!runOptions.recordFile.empty()) {
        bool failed = sessionRecordingFailed(&recordingError);
        report["recording"] = {{"file", runOptions.recordFile}, {"ok", !failed}};
        if (failed) {
            report["recording"]["error"] = describedError(recordingError);
        }
    }
    printJsonDocument(runOptions.jsonLines ? recordStreamLine("report", report)
                                           : jsonText(report, 2));
}

// The record stream's line for a change: every probe and verdict, and the writer's progress at
// each phase, second and KByte (not at every block).
void streamRecord(OutcomeRecord changed) {
    static std::mutex streamMutex;
    static WriterProgress streamed{};
    std::lock_guard<std::mutex> lock(streamMutex);
    switch (changed) {
    case OUTCOME_PROBE:
        printJsonDocument(recordStreamLine("probe", probeOutcomeJson(lastProbeOutcome())));
        return;
    case OUTCOME_UPGRADE_VERDICT:
        printJsonDocument(recordStreamLine("verdict", upgradeVerdictJson(lastUpgradeVerdict())));
        return;
    case OUTCOME_WRITER_PROGRESS: {
        WriterProgress progress = currentWriterProgress();
        if (progress.phase == streamed.phase && progress.seconds == streamed.seconds &&
            progress.bytesAccepted / 1024 == streamed.bytesAccepted / 1024) {
            return;
        }
        streamed = progress;
        printJsonDocument(recordStreamLine("progress", writerProgressJson(progress)));
        return;
    }
    }
}

void onOutcome(OutcomeRecord changed) {
    if (changed == OUTCOME_WRITER_PROGRESS) {
        showWriterProgress(currentWriterProgress());
    }
    if (runOptions.jsonLines) {
        streamRecord(changed);
    }
}

// A recording that a write error cut short is said once, at the end: the run itself went on.
void reportRecordingFailure() {
    PlatformError error;
    if (!runOptions.recordFile.empty() && sessionRecordingFailed(&error)) {
        fprintf(stderr,
                "ticketflash: --record: writing %s failed (%s); the recording ends before that "
                "write, the run went on without it.\n",
                runOptions.recordFile.c_str(), describedError(error).c_str());
    }
}

// The dialog's exit sequence (the spooler's printers back, the instance marker released) and
// the end of the run, then the report. Called with the command lock held.
int endRun(const RunOutcome& outcome) {
    runEnded = true;
    pressEscape();
    finishRun();
    bool usageError = outcome.exitCode == CLI_EXIT_USAGE;
    if (usageError) {
        printUsageError(outcome.closingLine);
    }
    if (runOptions.json || runOptions.jsonLines) {
        printReport(outcome);
        return outcome.exitCode;
    }
    if (outcome.showFields) {
        printDialogFields();
    }
    if (!usageError && !outcome.closingLine.empty()) {
        printUserLine(outcome.closingLine);
    }
    reportRecordingFailure();
    return outcome.exitCode;
}

// An interrupt that the dialog accepts ends the run at once: nothing more is sent to the
// printer. Before the flash-mode request nothing was done; after it, the upgrade's verdict
// says how the printer was left (for a writer, as its closing probe found it).
RunOutcome interruptedOutcome() {
    RunOutcome outcome;
    showAsItsRowSays(runOptions.command, &outcome);
    outcome.exitCode = CLI_EXIT_DECLINED;
    outcome.closingLine = "Interrupted; nothing was written to the printer.";
    if (lastUpgradeVerdict().flashModeRequested) {
        judgeInterruptedUpgrade(&outcome);
    }
    return outcome;
}

void onInterrupt(ConsoleInterrupt) {
    if (runEnded.load()) {
        return;
    }
    // First of all: an upgrade under way that has not yet asked for flash mode never will.
    stopBeforeFlashMode();
    CommandLockForInterrupt held;
    if (runEnded.load() || updateInProgress.load()) {
        // While a writer runs the dialog refuses, with its own message.
        if (!runEnded.load()) {
            pressEscape();
        }
        return;
    }
    // The writer's closing probe must be done before the exit sequence puts the ports back.
    waitForWriter();
    endLiveLine();
    int exitCode = endRun(interruptedOutcome());
    flushConsoleOutput();
    std::_Exit(exitCode);
}

// The text of an option as a canonical number or address, so that "010001" and "10001" name
// the same printer; the dialog's default when it is not given.
std::string canonicalPort(const std::string& port) {
    return port.empty() ? DEFAULT_TCP_PORT : std::to_string(strtol(port.c_str(), nullptr, 10));
}

std::string canonicalAddress(const std::string& address) {
    std::string canonical = address.empty() ? DEFAULT_IP_ADDRESS : address;
    canonicalIpv4(address, &canonical);
    return canonical;
}

// A refused start ends with 75; the refusal was shown as a box, except a machine's lock that
// could not be made, which the command line says itself.
RunOutcome refusedOutcome(const RunStart& start) {
    if (start.refusal == RUN_REFUSED_NO_MACHINE_LOCK) {
        fprintf(stderr,
                "ticketflash: cannot take the machine's lock (%s): %s. The lock file must be a "
                "regular file owned by this user or root, in a folder of this user's; the run "
                "does not go on without it.\n",
                start.holderText, describedError(start.error).c_str());
    } else if (start.refusal == RUN_REFUSED_ANOTHER_TOOL) {
        fprintf(stderr, "ticketflash: refused by %s\n", start.holderText);
    }
    RunOutcome outcome;
    outcome.exitCode = CLI_EXIT_ANOTHER_INSTANCE;
    return outcome;
}

// What the start put right of an interrupted run, said: a line on standard output when it was
// put back, on standard error when it could not be.
void reportRecovery(const RunStart& start) {
    recoveryText = start.recoveryText;
    if (start.recovery == PORT_RECOVERY_RESTORED && !runOptions.json) {
        printUserLine(recoveryText);
    } else if (start.recovery != PORT_RECOVERY_RESTORED && !recoveryText.empty()) {
        fprintf(stderr, "ticketflash: %s\n", start.recoveryText);
    }
}

// A run over TCP holds its printer's marker, not the machine's: no two runs work on one printer
// at once, while a fleet run and a local upgrade do not refuse each other. Only a run that holds
// the machine's marker puts back what an interrupted run left, since a run over TCP may run
// beside a local run whose moved ports are on record.
bool startRun(const CliOptions& options, RunStart* start) {
    if (!subcommandFor(options.command).takesLock) {
        *start = RunStart{RUN_NOT_REFUSED, PlatformError{}, PORT_RECOVERY_NOTHING_LEFT, "", ""};
        return true;
    }
    if (!runsOverTcp(options)) {
        return beginRun(RUN_SCOPE_MACHINE, nullptr, start);
    }
    std::string printer =
        canonicalAddress(options.ipAddress) + ":" + canonicalPort(options.tcpPort);
    return beginRun(RUN_SCOPE_PRINTER, printer.c_str(), start);
}

// restore-ports: the recovery alone. Done when nothing is left to put back.
RunOutcome restorePortsOutcome(PortRecovery recovery) {
    RunOutcome outcome;
    bool done = recovery == PORT_RECOVERY_NOTHING_LEFT || recovery == PORT_RECOVERY_RESTORED;
    outcome.exitCode = done ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
    if (recovery == PORT_RECOVERY_NOTHING_LEFT) {
        outcome.closingLine = "No printer port was left to restore.";
    }
    return outcome;
}

int endWithoutRun(const RunOutcome& outcome) {
    if (runOptions.json || runOptions.jsonLines) {
        printReport(outcome);
    }
    return outcome.exitCode;
}

// A local run takes the spooler's printers off their ports from its first probe on, and puts
// back what an interrupted run left: without the rights for that it would fail printer by
// printer and leave the spooler on the port. Refused before anything is touched.
bool refusedUnelevated(const CliOptions& options, RunOutcome* outcome) {
    if (runsOverTcp(options) || spoolerService->mayChangePrinters()) {
        return false;
    }
    outcome->exitCode = CLI_EXIT_NOT_ELEVATED;
    outcome->closingLine = "A local run changes the spooler's printers, which needs an "
                           "administrator: run it from an elevated prompt.";
    fprintf(stderr, "ticketflash: %s\n", outcome->closingLine.c_str());
    return true;
}

} // namespace

int runTicketflash(const CliOptions& options) {
    runOptions = options;
    RunOutcome unelevated;
    if (refusedUnelevated(options, &unelevated)) {
        return endWithoutRun(unelevated);
    }
    if (options.log) {
        installDiagnosticLog();
    }
    PlatformError error;
    // Before anything talks to a printer, so that the recording holds the whole session.
    if (!options.recordFile.empty() &&
        !startSessionRecording(options.recordFile.c_str(), TICKETFLASH_VERSION, &error)) {
        printUsageError("--record: cannot create " + options.recordFile + ": " +
                            describedFileError(error),
                        usageErrorJson(options));
        return CLI_EXIT_USAGE;
    }
    setupConsoleOutput(options.json || options.jsonLines, options.progress);
    // First of all, before any thread exists, so that every later thread leaves the interrupts
    // to the watcher.
    if (!consoleService->watchInterrupts(onInterrupt, &error)) {
        fprintf(stderr, "ticketflash: cannot watch for interrupts: %s\n",
                describedError(error).c_str());
    }
    installDialogFront(options.yes);
    setOutcomeListener(onOutcome);
    RunStart start;
    if (!startRun(options, &start)) {
        return endWithoutRun(refusedOutcome(start));
    }
    reportRecovery(start);
    RunOutcome outcome = options.command == CLI_COMMAND_RESTORE_PORTS
                             ? restorePortsOutcome(start.recovery)
                             : runCommand(options);
    lockCommands();
    int exitCode = endRun(outcome);
    stopSessionRecording();
    return exitCode;
}
