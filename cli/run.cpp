#include "cli/run.h"

#include "app/run_end.h"
#include "app/single_instance.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/dialog_view.h"
#include "cli/progress.h"
#include "cli/stream_counter.h"
#include "cli/upgrade_check.h"
#include "connection/local_discovery.h"
#include "flash/flash_writer.h"
#include "identity/printer_data.h"
#include "platform/console.h"
#include "platform/kernel.h"
#include "resources/resource.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

namespace {

// How long the tool follows a writer before it gives up on it: far beyond the 41 s of waits
// and the streaming of the largest image over the slowest channel.
constexpr auto WRITER_FOLLOW_LIMIT = std::chrono::minutes(15);
constexpr auto WRITER_POLL_INTERVAL = std::chrono::milliseconds(100);
constexpr const char NOT_READY_BOX[] = "Not Ready";
constexpr const char ANOTHER_INSTANCE_BOX[] = "Another KQ tool is currently running\r"
                                              "Please try again latter";

// What a run has found out, for the closing report.
struct RunOutcome {
    int exitCode = CLI_EXIT_DONE;
    std::string closingLine; // said last, in plain output
    std::string statusOverride;
    bool showFields = false;
    bool upgrade = false;
    std::string image;
    uint64_t bytesSent = 0;
    std::string newVersion;
    bool verified = false;
};

CliOptions runOptions;
std::atomic<bool> runEnded{false};
std::atomic<bool> writerStarted{false};
// Set when the closing probe of the writer wrote the version text.
std::atomic<bool> versionShownAfterUpgrade{false};

std::mutex progressMutex;
PlainProgress plainProgress;

KernelService loggingKernel;

void logOnStandardError(const char* line) {
    fprintf(stderr, "%s\n", line);
}

// --log: the diagnostic lines on standard error, whatever the backend does with them.
void installDiagnosticLog() {
    loggingKernel = *kernelService;
    loggingKernel.debugLog = logOnStandardError;
    kernelService = &loggingKernel;
}

void showProgress() {
    DialogView view = readDialogView();
    if (liveOutput()) {
        showLiveLine(progressLiveLine(view.programStatus, view.programState));
        return;
    }
    std::lock_guard<std::mutex> lock(progressMutex);
    std::string line = plainProgress.lineFor(view.programStatus, view.programState);
    if (!line.empty()) {
        printUserLine(line);
    }
}

void onDialogChange(const DialogChange& change) {
    if (change.kind != DIALOG_CHANGE_TEXT) {
        return;
    }
    if (change.controlId == IDC_PROGRAM_STATUS_TEXT || change.controlId == IDC_PROGRAM_STATE_TEXT) {
        showProgress();
    } else if (change.controlId == IDC_VERSION_TEXT && writerStarted.load()) {
        versionShownAfterUpgrade = true;
    }
}

void printFields() {
    for (const std::string& line : dialogFieldLines(readDialogView())) {
        printUserLine(line);
    }
}

int probeExitCode(const DialogView& view) {
    if (viewFoundNoPrinter(view)) {
        return CLI_EXIT_NO_PRINTER;
    }
    return viewPrinterReady(view) ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
}

bool overTcp(const CliOptions& options) {
    return options.command == CLI_COMMAND_FIND ||
           (options.command == CLI_COMMAND_UPGRADE &&
            (!options.ipAddress.empty() || !options.tcpPort.empty()));
}

// Types the address into the dialog's edits, octet by octet, as the user would.
void typeAddress(const CliOptions& options) {
    static const int octetEdits[] = {IDC_IP_OCTET1_EDIT, IDC_IP_OCTET2_EDIT, IDC_IP_OCTET3_EDIT,
                                     IDC_IP_OCTET4_EDIT};
    size_t start = 0;
    for (int edit : octetEdits) {
        if (options.ipAddress.empty()) {
            break;
        }
        size_t end = options.ipAddress.find('.', start);
        typeIntoEdit(edit, options.ipAddress.substr(start, end - start).c_str());
        start = end + 1;
    }
    if (!options.tcpPort.empty()) {
        typeIntoEdit(IDC_TCP_PORT_EDIT, options.tcpPort.c_str());
    }
}

// The probe of the chosen route: the local probe of the dialog's start, or "Find Ethernet
// Printer" after typing the address.
RunOutcome probeByRoute(const CliOptions& options) {
    if (overTcp(options)) {
        startDialog(false);
        typeAddress(options);
        clickControl(IDC_FIND_ETHERNET_BUTTON);
    } else {
        startDialog(true);
    }
    RunOutcome outcome;
    outcome.showFields = true;
    outcome.exitCode = probeExitCode(readDialogView());
    // The probe gave up and asked for the end of the run: the device id could not be read, or
    // the spooler's printers could not be listed.
    if (runEndRequested.load()) {
        outcome.exitCode = CLI_EXIT_FAILED;
    }
    return outcome;
}

RunOutcome showVersions() {
    startDialog(false);
    clickControl(IDC_DISPLAY_VERSIONS_BUTTON);
    return RunOutcome();
}

bool notReadyShown() {
    for (const ShownBox& box : shownBoxes()) {
        if (box.text == NOT_READY_BOX) {
            return true;
        }
    }
    return false;
}

// "STATUS": its button is hidden in the dialog, so its command is sent as the dialog would
// receive it. The dialog says "Not Ready" both when no printer is found and when the printer is
// not ready; the route the search left tells the two apart.
RunOutcome queryStatus() {
    startDialog(false);
    sendControlCommand(IDC_STATUS_BUTTON);
    RunOutcome outcome;
    bool ready = !notReadyShown();
    outcome.statusOverride = ready ? "Ready" : NOT_READY_BOX;
    if (!ready) {
        outcome.exitCode =
            printerData.portType == PORT_TYPE_NONE ? CLI_EXIT_NO_PRINTER : CLI_EXIT_FAILED;
    }
    outcome.closingLine = ready ? "The printer is ready." : "The printer is not ready.";
    return outcome;
}

// A raster printer's firmware is chosen in the combo box, which only raster printers show.
int chooseVariant(const CliOptions& options, RunOutcome* outcome) {
    DialogView view = readDialogView();
    if (!view.variantsShown) {
        if (options.variant != 0) {
            outcome->closingLine = "--variant: this printer has no firmware variants to choose";
            return CLI_EXIT_USAGE;
        }
        return CLI_EXIT_DONE;
    }
    if (options.variant == 0) {
        outcome->closingLine = "--variant: this raster printer needs 1 or 2 (see Variants)";
        return CLI_EXIT_USAGE;
    }
    if (!chooseComboEntry(IDC_FIRMWARE_COMBO, options.variant - 1)) {
        outcome->closingLine = "--variant: the firmware list has no such entry";
        return CLI_EXIT_USAGE;
    }
    return CLI_EXIT_DONE;
}

// Follows the writer until its closing probe has returned. False when it took too long.
bool followWriter() {
    auto deadline = std::chrono::steady_clock::now() + WRITER_FOLLOW_LIMIT;
    while (writerBusy()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(WRITER_POLL_INTERVAL);
    }
    return true;
}

// The closing probe's version against the label of the image written.
void judgeUpgrade(RunOutcome* outcome) {
    DialogView view = readDialogView();
    outcome->newVersion = view.version;
    outcome->bytesSent = streamedBytes();
    bool read = versionShownAfterUpgrade.load() && !viewFoundNoPrinter(view);
    outcome->verified = read && versionRunsImage(view.version, outcome->image);
    outcome->exitCode = outcome->verified ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
    outcome->closingLine = upgradeVerdict(read, view.version, outcome->image);
}

void startUpgrade(RunOutcome* outcome) {
    clickControl(IDC_UPGRADE_BUTTON);
    if (!writerBusy()) {
        bool declined = questionDeclined();
        outcome->exitCode = declined ? CLI_EXIT_DECLINED : CLI_EXIT_FAILED;
        outcome->closingLine = declined ? "Nothing was written: the question was answered No."
                                        : "The upgrade did not start; nothing was written.";
        return;
    }
    outcome->image = writerJob.image->version;
    bool ethernet = activeConnection == PORT_TYPE_ETHERNET;
    countStreamOn(ethernet ? writerJob.socket : INVALID_SOCKET_HANDLE,
                  ethernet ? INVALID_CHANNEL_HANDLE : writerJob.handle);
    writerStarted = true;
    if (!followWriter()) {
        // The dialog will refuse to exit while the writer holds the printer: the spooler's
        // printers go back all the same.
        endLiveLine();
        restorePortsOnce();
        outcome->exitCode = CLI_EXIT_FAILED;
        outcome->closingLine = "The flash writer did not finish within 15 minutes.";
        return;
    }
    endLiveLine();
    judgeUpgrade(outcome);
}

RunOutcome upgradeFirmware(const CliOptions& options) {
    RunOutcome outcome = probeByRoute(options);
    outcome.upgrade = true;
    if (outcome.exitCode != CLI_EXIT_DONE) {
        return outcome;
    }
    outcome.exitCode = chooseVariant(options, &outcome);
    if (outcome.exitCode != CLI_EXIT_DONE) {
        return outcome;
    }
    printFields();
    printUserLine("");
    outcome.showFields = false;
    startUpgrade(&outcome);
    printUserLine("");
    outcome.showFields = true;
    return outcome;
}

RunOutcome runCommand(const CliOptions& options) {
    switch (options.command) {
    case CLI_COMMAND_VERSIONS:
        return showVersions();
    case CLI_COMMAND_STATUS:
        return queryStatus();
    case CLI_COMMAND_UPGRADE:
        return upgradeFirmware(options);
    case CLI_COMMAND_PROBE:
    case CLI_COMMAND_FIND:
        break;
    }
    return probeByRoute(options);
}

const char* commandName(CliCommand command) {
    static const char* const names[] = {"probe", "find", "versions", "status", "upgrade"};
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
    if (runOptions.json) {
        printJsonDocument(reportJson(outcome));
        return outcome.exitCode;
    }
    if (outcome.showFields) {
        printFields();
    }
    if (!outcome.closingLine.empty()) {
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
    if (writerStarted.load()) {
        outcome.image = writerJob.image->version;
        judgeUpgrade(&outcome);
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
    while (writerBusy()) {
        std::this_thread::sleep_for(WRITER_POLL_INTERVAL);
    }
    endLiveLine();
    int exitCode = endRun(interruptedOutcome());
    flushConsoleOutput();
    std::_Exit(exitCode);
}

RunOutcome anotherInstanceOutcome() {
    showMessage(ANOTHER_INSTANCE_BOX);
    RunOutcome outcome;
    outcome.exitCode = CLI_EXIT_ANOTHER_INSTANCE;
    return outcome;
}

} // namespace

int runTicketflash(const CliOptions& options) {
    runOptions = options;
    if (options.log) {
        installDiagnosticLog();
    }
    setupConsoleOutput(options.json);
    // First of all, before any thread exists, so that every later thread leaves the interrupts
    // to the watcher.
    PlatformError error = 0;
    if (!consoleService->watchInterrupts(onInterrupt, &error)) {
        fprintf(stderr, "ticketflash: cannot watch for interrupts (error %u)\n", error);
    }
    installStreamCounter();
    installDialogFront(options.yes);
    setDialogChangeListener(onDialogChange);
    CreateSingleInstance();
    if (IsAnotherInstanceRunning()) {
        RunOutcome outcome = anotherInstanceOutcome();
        if (options.json) {
            printJsonDocument(reportJson(outcome));
        }
        return outcome.exitCode;
    }
    RunOutcome outcome = runCommand(options);
    lockCommands();
    return endRun(outcome);
}
