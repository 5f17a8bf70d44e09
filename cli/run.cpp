#include "cli/run.h"

#include "app/single_instance.h"
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/dialog_view.h"
#include "cli/fleet_inventory.h"
#include "cli/stream_counter.h"
#include "connection/port_recovery.h"
#include "flash/flash_writer.h"
#include "platform/console.h"
#include "platform/kernel.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

namespace {

constexpr const char ANOTHER_INSTANCE_BOX[] = "Another KQ tool is currently running\r"
                                              "Please try again latter";

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

const char* commandName(CliCommand command) {
    static const char* const names[] = {"probe",   "find",          "versions", "status",
                                        "upgrade", "restore-ports", "fleet"};
    return names[command];
}

std::string reportJson(const RunOutcome& outcome) {
    nlohmann::json report = dialogViewJson(readDialogView());
    report["command"] = commandName(runOptions.command);
    if (!outcome.statusOverride.empty()) {
        report["status"] = outcome.statusOverride;
        report["ready"] = outcome.exitCode == CLI_EXIT_DONE;
    }
    nlohmann::json messages = nlohmann::json::array();
    for (const ShownBox& box : shownBoxes()) {
        nlohmann::json message = {{"caption", box.caption}, {"text", box.text}};
        if (box.question) {
            message["answer"] = box.answeredYes ? "Yes" : "No";
        }
        messages.push_back(message);
    }
    report["messages"] = messages;
    if (!recoveryText.empty()) {
        report["portsRecovery"] = recoveryText;
    }
    if (outcome.upgrade) {
        report["image"] = outcome.image;
        report["bytesSent"] = outcome.bytesSent;
        report["newVersion"] = outcome.newVersion;
        report["verified"] = outcome.verified;
    }
    report["exitCode"] = outcome.exitCode;
    // The printer's texts are 8-bit: a byte that is not UTF-8 is shown as U+FFFD.
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The dialog's exit sequence (the spooler's printers back, the instance marker released), then
// the report. Called with the command lock held.
int endRun(const RunOutcome& outcome) {
    runEnded = true;
    pressEscape();
    bool usageError = outcome.exitCode == CLI_EXIT_USAGE;
    if (usageError) {
        printUsageError(outcome.closingLine);
    }
    if (runOptions.json) {
        printJsonDocument(reportJson(outcome));
        return outcome.exitCode;
    }
    if (outcome.showFields) {
        printDialogFields();
    }
    if (!usageError && !outcome.closingLine.empty()) {
        printUserLine(outcome.closingLine);
    }
    return outcome.exitCode;
}

// An interrupt that the dialog accepts ends the run at once: nothing more is sent to the
// printer. Before a writer started nothing was done; after it, the printer is judged as the
// writer's closing probe left it.
RunOutcome interruptedOutcome() {
    RunOutcome outcome;
    outcome.showFields =
        runOptions.command != CLI_COMMAND_VERSIONS && runOptions.command != CLI_COMMAND_STATUS;
    outcome.upgrade = runOptions.command == CLI_COMMAND_UPGRADE;
    outcome.exitCode = CLI_EXIT_DECLINED;
    outcome.closingLine = "Interrupted; nothing was written to the printer.";
    if (writerWasStarted()) {
        judgeInterruptedUpgrade(&outcome);
    }
    return outcome;
}

void onInterrupt(ConsoleInterrupt) {
    if (runEnded.load()) {
        return;
    }
    if (!tryLockCommandsForInterrupt()) {
        printUserLine("Interrupt received: it is dealt with when the current step has ended.");
        waitForCommandsForInterrupt();
    }
    if (runEnded.load() || updateInProgress.load()) {
        // While a writer runs the dialog refuses, with its own message.
        if (!runEnded.load()) {
            pressEscape();
        }
        unlockCommandsAfterInterrupt();
        return;
    }
    // The writer's closing probe must be done before the exit sequence puts the ports back.
    waitForWriter();
    endLiveLine();
    int exitCode = endRun(interruptedOutcome());
    flushConsoleOutput();
    std::_Exit(exitCode);
}

RunOutcome anotherInstanceOutcome(const char* text) {
    showMessage(text);
    RunOutcome outcome;
    outcome.exitCode = CLI_EXIT_ANOTHER_INSTANCE;
    return outcome;
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

// A run over TCP works on one printer and never touches the spooler: it holds that printer's
// marker, kept until the process ends, and not the machine's. So no two runs work on one
// printer at once, while a fleet run and a local upgrade do not refuse each other. A marker
// that cannot be made refuses the run as well: nothing would keep another run off the printer.
bool takePrinterMarker(const CliOptions& options, RunOutcome* refusal) {
    std::string printer =
        canonicalAddress(options.ipAddress) + ":" + canonicalPort(options.tcpPort);
    std::string name = "ticketflash-printer-" + printer;
    std::replace(name.begin(), name.end(), ':', '-');
    PlatformError error = 0;
    kernelService->createMarker(name.c_str(), &error);
    if (error == 0) {
        return true;
    }
    std::string text = error == PLATFORM_ERROR_ALREADY_EXISTS
                           ? "Another run is working on the printer at " + printer
                           : "Cannot take the lock of the printer at " + printer + " (error " +
                                 std::to_string(error) + ")";
    *refusal = anotherInstanceOutcome(text.c_str());
    return false;
}

// The lock keeps a second run off the machine's spooler and printers: a lock that cannot be
// taken, whatever the reason, ends the run as one that another run holds.
RunOutcome lockFailureOutcome() {
    fprintf(stderr,
            "ticketflash: cannot take the machine's lock (error %u). The lock file must be a "
            "regular file owned by this user or root; the run does not go on without it.\n",
            m_dwLastError);
    RunOutcome outcome;
    outcome.exitCode = CLI_EXIT_ANOTHER_INSTANCE;
    return outcome;
}

// The machine's single-instance marker, for the runs that may move the spooler's printers.
bool takeInstanceMarker(RunOutcome* refusal) {
    CreateSingleInstance();
    if (IsAnotherInstanceRunning()) {
        *refusal = anotherInstanceOutcome(ANOTHER_INSTANCE_BOX);
        return false;
    }
    if (instanceMutex == NO_MARKER) {
        *refusal = lockFailureOutcome();
        return false;
    }
    return true;
}

// Puts back what an interrupted run left, first of all, and says so: a line on standard
// output when it was put back, on standard error when it could not be.
PortRecovery recoverInterruptedRun() {
    PortRecovery recovery = RestorePortsFromJournal();
    char text[1024];
    describePortRecovery(recovery, text, sizeof text);
    recoveryText = text;
    if (recovery == PORT_RECOVERY_RESTORED && !runOptions.json) {
        printUserLine(recoveryText);
    } else if (recovery != PORT_RECOVERY_RESTORED && !recoveryText.empty()) {
        fprintf(stderr, "ticketflash: %s\n", text);
    }
    return recovery;
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
    if (runOptions.json) {
        printJsonDocument(reportJson(outcome));
    }
    return outcome.exitCode;
}

} // namespace

int runTicketflash(const CliOptions& options) {
    runOptions = options;
    if (options.log) {
        installDiagnosticLog();
    }
    setupConsoleOutput(options.json, options.progress);
    // First of all, before any thread exists, so that every later thread leaves the interrupts
    // to the watcher.
    PlatformError error = 0;
    if (!consoleService->watchInterrupts(onInterrupt, &error)) {
        fprintf(stderr, "ticketflash: cannot watch for interrupts (error %u)\n", error);
    }
    installStreamCounter();
    installDialogFront(options.yes);
    setDialogChangeListener(followDialogChange);
    RunOutcome refusal;
    bool tcpOnly = runsOverTcp(options);
    if (tcpOnly ? !takePrinterMarker(options, &refusal) : !takeInstanceMarker(&refusal)) {
        return endWithoutRun(refusal);
    }
    // Only a run that holds the machine's marker puts back what an interrupted run left: a run
    // over TCP may run beside a local run whose moved ports are on record.
    PortRecovery recovery = tcpOnly ? PORT_RECOVERY_NOTHING_LEFT : recoverInterruptedRun();
    RunOutcome outcome = options.command == CLI_COMMAND_RESTORE_PORTS
                             ? restorePortsOutcome(recovery)
                             : runCommand(options);
    lockCommands();
    return endRun(outcome);
}
