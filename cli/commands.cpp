#include "cli/commands.h"

#include "app/run_end.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/dialog_view.h"
#include "cli/progress.h"
#include "cli/stream_counter.h"
#include "cli/upgrade_check.h"
#include "connection/local_discovery.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "identity/printer_data.h"
#include "resources/resource.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace {

// How long the tool follows a writer before it says so: far beyond the 41 s of waits and the
// streaming of the largest image over the slowest channel.
constexpr auto WRITER_FOLLOW_LIMIT = std::chrono::minutes(15);
constexpr auto WRITER_POLL_INTERVAL = std::chrono::milliseconds(100);
constexpr const char NOT_READY_BOX[] = "Not Ready";

std::atomic<bool> writerStarted{false};
// Set when the closing probe of the writer wrote the version text.
std::atomic<bool> versionShownAfterUpgrade{false};

std::mutex progressMutex;
PlainProgress plainProgress;

void showProgress() {
    DialogView view = readDialogView();
    if (liveOutput()) {
        showLiveLine(progressLiveLine(view.programStatus, view.programState));
        return;
    }
    std::lock_guard<std::mutex> lock(progressMutex);
    std::string line = plainProgress.lineFor(view.programStatus, view.programState);
    if (!line.empty()) {
        printProgressLine(line);
    }
}

int probeExitCode(const DialogView& view) {
    if (viewFoundNoPrinter(view)) {
        return CLI_EXIT_NO_PRINTER;
    }
    return viewPrinterReady(view) ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
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
    if (runsOverTcp(options)) {
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

// Follows the writer until its closing probe has returned. Every wait of the writer on the
// printer is bounded, so it ends by itself; past the follow limit the user is told, but the run
// still ends only through the writer's own closing steps, never while it owns the printer.
void followWriter() {
    auto deadline = std::chrono::steady_clock::now() + WRITER_FOLLOW_LIMIT;
    bool told = false;
    while (writerBusy()) {
        if (!told && std::chrono::steady_clock::now() > deadline) {
            endLiveLine();
            printUserLine("The flash writer is still at work after 15 minutes; the run ends when "
                          "it has finished with the printer.");
            told = true;
        }
        std::this_thread::sleep_for(WRITER_POLL_INTERVAL);
    }
}

// Done only when the writer wrote every byte and the closing probe's version is the label of
// the image written. After a write error the printer's word counts for nothing.
void judgeUpgrade(RunOutcome* outcome) {
    DialogView view = readDialogView();
    outcome->newVersion = view.version;
    outcome->bytesSent = streamedBytes();
    bool read = versionShownAfterUpgrade.load() && !viewFoundNoPrinter(view);
    outcome->verified =
        writerOutcome.wroteAll && read && versionRunsImage(view.version, outcome->image);
    outcome->exitCode = outcome->verified ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
    outcome->closingLine =
        writerOutcome.wroteAll
            ? upgradeVerdict(read, view.version, outcome->image)
            : writeFailedVerdict(writerOutcome.bytesAccepted, writerOutcome.imageSize,
                                 writerOutcome.writeError);
}

void startUpgrade(RunOutcome* outcome) {
    clickControl(IDC_UPGRADE_BUTTON);
    if (!writerBusy()) {
        bool declined = questionDeclined();
        outcome->exitCode = declined ? CLI_EXIT_DECLINED : CLI_EXIT_FAILED;
        outcome->closingLine = declined ? "Nothing was written: the question was answered No."
                               : flashModeAbandoned
                                   ? "The upgrade did not start and no firmware was written, but "
                                     "the printer took the flash-mode request: it may be waiting "
                                     "in flash mode, power-cycle it before using it again."
                                   : "The upgrade did not start; nothing was written.";
        return;
    }
    outcome->image = writerJob.image->version;
    bool ethernet = activeConnection == PORT_TYPE_ETHERNET;
    countStreamOn(ethernet ? writerJob.socket : INVALID_SOCKET_HANDLE,
                  ethernet ? INVALID_CHANNEL_HANDLE : writerJob.handle);
    writerStarted = true;
    followWriter();
    endLiveLine();
    judgeUpgrade(outcome);
}

RunOutcome upgradeFirmware(const CliOptions& options) {
    RunOutcome outcome = probeByRoute(options);
    outcome.upgrade = true;
    if (outcome.exitCode != CLI_EXIT_DONE) {
        outcome.closingLine = outcome.exitCode == CLI_EXIT_NO_PRINTER
                                  ? "No printer was found; nothing was written."
                                  : "The printer is not ready; nothing was written.";
        return outcome;
    }
    // A ready printer whose upgrade button stays disabled, with no firmware to choose either:
    // the caption says why no firmware is offered.
    DialogView view = readDialogView();
    if (!view.upgradeEnabled && !view.variantsShown) {
        outcome.exitCode = CLI_EXIT_FAILED;
        outcome.closingLine = view.caption + "; nothing was written.";
        return outcome;
    }
    outcome.exitCode = chooseVariant(options, &outcome);
    if (outcome.exitCode != CLI_EXIT_DONE) {
        return outcome;
    }
    printDialogFields();
    printUserLine("");
    outcome.showFields = false;
    startUpgrade(&outcome);
    printUserLine("");
    outcome.showFields = true;
    return outcome;
}

} // namespace

bool runsOverTcp(const CliOptions& options) {
    return options.command == CLI_COMMAND_FIND ||
           (options.command == CLI_COMMAND_UPGRADE &&
            (!options.ipAddress.empty() || !options.tcpPort.empty()));
}

void followDialogChange(const DialogChange& change) {
    if (change.kind != DIALOG_CHANGE_TEXT) {
        return;
    }
    if (change.controlId == IDC_PROGRAM_STATUS_TEXT || change.controlId == IDC_PROGRAM_STATE_TEXT) {
        showProgress();
    } else if (change.controlId == IDC_VERSION_TEXT && writerStarted.load()) {
        versionShownAfterUpgrade = true;
    }
}

void printDialogFields() {
    for (const std::string& line : dialogFieldLines(readDialogView())) {
        printUserLine(line);
    }
}

namespace {

// Several printers of the family are attached and the command line did not say which: the
// local search took none of them.
void reportSeveralUsbPrinters(RunOutcome* outcome) {
    std::string paths;
    for (uint32_t index = 0; index < listedUsbPrinterCount; ++index) {
        paths += (index == 0 ? "" : ", ") + std::string(listedUsbPrinters[index].path);
    }
    outcome->exitCode = CLI_EXIT_USAGE;
    outcome->closingLine = "--device: " + std::to_string(listedUsbPrinterCount) +
                           " USB printers are attached (" + paths +
                           "); pick one with --device PATH";
}

RunOutcome runSubcommand(const CliOptions& options) {
    switch (options.command) {
    case CLI_COMMAND_VERSIONS:
        return showVersions();
    case CLI_COMMAND_STATUS:
        return queryStatus();
    case CLI_COMMAND_UPGRADE:
        return upgradeFirmware(options);
    case CLI_COMMAND_RESTORE_PORTS:
        // The start's recovery is the whole command (run.cpp).
        return RunOutcome();
    case CLI_COMMAND_PROBE:
    case CLI_COMMAND_FIND:
    case CLI_COMMAND_FLEET: // runs in fleet.cpp, never here
        break;
    }
    return probeByRoute(options);
}

} // namespace

RunOutcome runCommand(const CliOptions& options) {
    pickedUsbDevice = options.device.empty() ? nullptr : options.device.c_str();
    RunOutcome outcome = runSubcommand(options);
    if (severalUsbPrintersUnpicked()) {
        reportSeveralUsbPrinters(&outcome);
    }
    return outcome;
}

bool writerWasStarted() {
    return writerStarted.load();
}

void waitForWriter() {
    while (writerBusy()) {
        std::this_thread::sleep_for(WRITER_POLL_INTERVAL);
    }
}

void judgeInterruptedUpgrade(RunOutcome* outcome) {
    outcome->image = writerJob.image->version;
    judgeUpgrade(outcome);
}
