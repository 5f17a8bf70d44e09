#include "cli/commands.h"

#include "app/run.h"
#include "cli/closing_lines.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/dialog_view.h"
#include "cli/progress.h"
#include "cli/record_json.h"
#include "cli/subcommands.h"
#include "connection/local_discovery.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "outcome/outcomes.h"
#include "resources/resource.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace {

// How long the tool follows a writer before it says so: far beyond the 41 s of waits and the
// streaming of the largest image over the slowest channel.
constexpr auto WRITER_FOLLOW_LIMIT = std::chrono::minutes(15);
constexpr auto WRITER_POLL_INTERVAL = std::chrono::milliseconds(100);

std::mutex progressMutex;
PlainProgress plainProgress;

int probeExitCode(const ProbeOutcome& probe) {
    switch (probe.result) {
    case PROBE_RESULT_NO_PRINTER:
        return CLI_EXIT_NO_PRINTER;
    case PROBE_RESULT_READY:
    case PROBE_RESULT_UNIDENTIFIED:
        return CLI_EXIT_DONE;
    default:
        return CLI_EXIT_FAILED;
    }
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

} // namespace

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
    outcome.exitCode = probeExitCode(lastProbeOutcome());
    outcome.closingLine = probeClosingLine(lastProbeOutcome());
    // The probe gave up and asked for the end of the run: the device id could not be read, or
    // the spooler's printers could not be listed.
    if (runEndRequested.load()) {
        outcome.exitCode = CLI_EXIT_FAILED;
    }
    return outcome;
}

RunOutcome showVersions(const CliOptions&) {
    startDialog(false);
    clickControl(IDC_DISPLAY_VERSIONS_BUTTON);
    return RunOutcome();
}

// "STATUS": its button is hidden in the dialog, so its command is sent as the dialog would
// receive it. Its record tells a printer that is not ready from no printer at all.
RunOutcome queryStatus(const CliOptions&) {
    startDialog(false);
    sendControlCommand(IDC_STATUS_BUTTON);
    RunOutcome outcome;
    ProbeOutcome probe = lastProbeOutcome();
    outcome.exitCode = probe.result == PROBE_RESULT_READY        ? CLI_EXIT_DONE
                       : probe.result == PROBE_RESULT_NO_PRINTER ? CLI_EXIT_NO_PRINTER
                                                                 : CLI_EXIT_FAILED;
    std::string cause = probeClosingLine(probe);
    outcome.closingLine = probe.result == PROBE_RESULT_READY        ? "The printer is ready."
                          : probe.result == PROBE_RESULT_NO_PRINTER ? "There is no printer."
                                                                    : "The printer is not ready.";
    if (!cause.empty()) {
        outcome.closingLine += " " + cause;
    }
    return outcome;
}

namespace {

// A raster printer's firmware is chosen in the combo box, which only raster printers show.
int chooseVariant(const CliOptions& options, RunOutcome* outcome) {
    if (lastProbeOutcome().variantImages == nullptr) {
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

// The upgrade command's end as its verdict says: done only when the writer wrote every byte and
// the closing probe read the image's version back. Declined is exit 2, anything else short of
// done exit 1.
void judgeUpgrade(RunOutcome* outcome) {
    UpgradeVerdict verdict = lastUpgradeVerdict();
    outcome->exitCode = verdict.result == UPGRADE_RESULT_VERIFIED     ? CLI_EXIT_DONE
                        : verdict.failure == UPGRADE_FAILURE_DECLINED ? CLI_EXIT_DECLINED
                                                                      : CLI_EXIT_FAILED;
    outcome->closingLine = upgradeClosingLine(verdict);
}

void startUpgrade(RunOutcome* outcome) {
    clickControl(IDC_UPGRADE_BUTTON);
    if (lastUpgradeVerdict().writerStarted) {
        followWriter();
        endLiveLine();
    }
    judgeUpgrade(outcome);
}

} // namespace

RunOutcome upgradeFirmware(const CliOptions& options) {
    RunOutcome outcome = probeByRoute(options);
    ProbeOutcome probe = lastProbeOutcome();
    std::string advice = outcome.closingLine.empty() ? "" : " " + outcome.closingLine;
    if (probe.repair && !runEndRequested.load()) {
        // A printer that an upgrade here left half-written: its image goes again.
        outcome.exitCode = CLI_EXIT_DONE;
    } else if (outcome.exitCode != CLI_EXIT_DONE) {
        outcome.closingLine = (outcome.exitCode == CLI_EXIT_NO_PRINTER
                                   ? "No printer was found; nothing was written."
                                   : "The printer is not ready; nothing was written.") +
                              advice;
        return outcome;
    } else if (probe.result == PROBE_RESULT_UNIDENTIFIED) {
        // A ready printer that gets no firmware: the reason is the upgrade button's caption.
        outcome.exitCode = CLI_EXIT_FAILED;
        outcome.closingLine =
            std::string(probe.reason) + "; nothing was written. " + UNRECOGNISED_FIRMWARE_ADVICE;
        return outcome;
    } else {
        outcome.exitCode = chooseVariant(options, &outcome);
        if (outcome.exitCode != CLI_EXIT_DONE) {
            return outcome;
        }
    }
    printDialogFields();
    if (probe.repair) {
        printUserLine(probeClosingLine(probe));
    }
    printUserLine("");
    startUpgrade(&outcome);
    printUserLine("");
    return outcome;
}

void showWriterProgress(const WriterProgress& progress) {
    if (liveOutput()) {
        showLiveLine(progressLiveLine(progress));
        return;
    }
    std::lock_guard<std::mutex> lock(progressMutex);
    for (const std::string& line : plainProgress.linesFor(progress)) {
        printProgressLine(line);
    }
}

void printDialogFields() {
    for (const std::string& line : dialogFieldLines(lastProbeOutcome())) {
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

} // namespace

RunOutcome runCommand(const CliOptions& options) {
    pickedUsbDevice = options.device.empty() ? nullptr : options.device.c_str();
    RunOutcome outcome = subcommandFor(options.command).runCommands(options);
    showAsItsRowSays(options.command, &outcome);
    if (severalUsbPrintersUnpicked()) {
        reportSeveralUsbPrinters(&outcome);
    }
    return outcome;
}

void waitForWriter() {
    while (writerBusy()) {
        std::this_thread::sleep_for(WRITER_POLL_INTERVAL);
    }
}

void judgeInterruptedUpgrade(RunOutcome* outcome) {
    judgeUpgrade(outcome);
}

nlohmann::json runReport(CliCommand command, const RunOutcome& outcome) {
    nlohmann::json report = probeOutcomeJson(lastProbeOutcome());
    report["command"] = subcommandFor(command).name;
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
        report.update(upgradeVerdictJson(lastUpgradeVerdict()));
    }
    report["closingLine"] = outcome.closingLine;
    report["exitCode"] = outcome.exitCode;
    return report;
}
