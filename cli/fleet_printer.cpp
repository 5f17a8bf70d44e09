#include "cli/fleet_printer.h"

#include "cli/cli_options.h"
#include "cli/closing_lines.h"
#include "cli/progress.h"
#include "cli/record_json.h"
#include "identity/device_id.h"

#include <string>

namespace {

using nlohmann::json;

std::string text(const json& record, const char* key) {
    return record.is_object() && record.contains(key) && record[key].is_string()
               ? record[key].get<std::string>()
               : "";
}

// The texts of the message boxes the child run showed, one after the other.
std::string messagesOf(const json& report) {
    std::string joined;
    if (report.is_object() && report.contains("messages") && report["messages"].is_array()) {
        for (const json& message : report["messages"]) {
            std::string said = text(message, "text");
            joined += (joined.empty() || said.empty() ? "" : "; ") + said;
        }
    }
    return joined;
}

// Why a child run went wrong: its message boxes, else its probe's status line, else its exit
// code.
std::string reasonOf(const FleetPrinter& printer, int exitCode) {
    std::string reason = messagesOf(printer.report);
    if (reason.empty()) {
        reason = text(printer.probe, "status");
    }
    if (reason.empty()) {
        reason = exitCode < 0 ? "its run ended abnormally"
                              : "its run ended with exit code " + std::to_string(exitCode);
    }
    return reason;
}

void decide(FleetPrinter* printer, FleetOutcome outcome, const std::string& reason) {
    printer->outcome = outcome;
    printer->reason = reason;
    printer->phase = outcomeName(outcome);
}

// The image the upgrade will write, as the probe's record names it: the probe's own choice, or
// for a raster printer the image behind the inventory's variant. An outcome instead when the
// printer gets none.
void chooseImage(FleetPrinter* printer) {
    const json& probe = printer->probe;
    json variants = probe.value("variantImages", json::array());
    int variant = printer->where.variant;
    if (!variants.empty()) {
        if (variant == 0) {
            decide(printer, FLEET_OUTCOME_SKIPPED,
                   "a raster printer: give it variant=1 or variant=2 in the inventory");
            return;
        }
        if (variant <= static_cast<int>(variants.size()) && variants[variant - 1].is_string()) {
            printer->image = variants[variant - 1].get<std::string>();
        }
    } else if (variant != 0) {
        decide(printer, FLEET_OUTCOME_FAILED,
               "variant= is given, but this printer has no firmware variants");
        return;
    } else {
        printer->image = text(probe, "image");
    }
    if (printer->image.empty()) {
        std::string why = text(probe, "reason");
        decide(printer, FLEET_OUTCOME_FAILED,
               "the tool has no firmware for this printer: " +
                   (why.empty() ? text(probe, "caption") : why));
    }
}

// What the table shows of the writer's progress.
void followProgress(FleetPrinter* printer, const json& record) {
    WriterProgress progress;
    if (!writerProgressFromJson(record, &progress)) {
        return;
    }
    printer->bytesSent = progress.bytesAccepted;
    if (progress.phase == WRITER_PHASE_IMAGE || progress.phase == WRITER_PHASE_END_OF_FILE) {
        printer->phase = "Programming";
        printer->kbytesDone = static_cast<int>(progress.bytesAccepted / 1024);
        printer->kbytesTotal = static_cast<int>(progress.imageSize / 1024);
        return;
    }
    printer->phase = progressLiveLine(progress);
}

// Why an upgrade that the child's verdict judged did not end verified: what the child was shown
// when it stopped before its writer, then the verdict's own sentence.
std::string verdictReason(const json& record) {
    UpgradeVerdict verdict;
    upgradeVerdictFromJson(record, &verdict);
    std::string line = upgradeClosingLine(verdict);
    if (!verdict.writerStarted && verdict.shown[0] != '\0') {
        line = std::string(verdict.shown) + "; " + line;
    }
    return line;
}

} // namespace

std::string printerName(const FleetPrinter& printer) {
    return printer.where.address + ":" + std::to_string(printer.where.port);
}

const char* outcomeName(FleetOutcome outcome) {
    static const char* const names[] = {"planned", "upgraded",  "current",  "skipped",
                                        "failed",  "not-found", "repaired", "not-started"};
    return names[outcome];
}

bool fleetVerified(const FleetPrinter& printer) {
    return printer.outcome == FLEET_OUTCOME_UPGRADED || printer.outcome == FLEET_OUTCOME_REPAIRED;
}

void startChildRecords(FleetPrinter* printer) {
    printer->probe = nullptr;
    printer->verdict = nullptr;
    printer->report = nullptr;
}

void followRecordLine(FleetPrinter* printer, const std::string& line) {
    json record = json::parse(line, nullptr, false);
    std::string kind = text(record, "record");
    if (kind == "probe") {
        printer->probe = record;
    } else if (kind == "progress") {
        followProgress(printer, record);
    } else if (kind == "verdict") {
        printer->verdict = record;
    } else if (kind == "report") {
        printer->report = record;
        if (record.contains("messages") && record["messages"].is_array()) {
            printer->messages = record["messages"];
        }
    }
}

void judgeProbe(FleetPrinter* printer, int exitCode, bool reinstall) {
    printer->exitCode = exitCode;
    printer->model = text(printer->probe, "model");
    printer->version = text(printer->probe, "version");
    if (exitCode == CLI_EXIT_NO_PRINTER) {
        decide(printer, FLEET_OUTCOME_NOT_FOUND, reasonOf(*printer, exitCode));
        return;
    }
    // A printer an upgrade left half-written gets that image again, ready or not.
    if (printer->probe.is_object() && printer->probe.value("repairOffered", false)) {
        printer->image = text(printer->probe, "image");
        printer->phase = "to repair";
        return;
    }
    if (exitCode != CLI_EXIT_DONE || !printer->probe.is_object()) {
        decide(printer, FLEET_OUTCOME_FAILED, reasonOf(*printer, exitCode));
        return;
    }
    chooseImage(printer);
    if (printer->outcome != FLEET_OUTCOME_OPEN) {
        return;
    }
    if (versionRunsImage(printer->version.c_str(), printer->image.c_str()) && !reinstall) {
        decide(printer, FLEET_OUTCOME_CURRENT, "");
        return;
    }
    printer->phase = "to upgrade";
}

void judgeUpgrade(FleetPrinter* printer, int exitCode, bool interrupted) {
    const json& verdict = printer->verdict;
    std::string result = text(verdict, "result");
    bool judged = result == "not-started" || result == "failed" || result == "verified";
    printer->exitCode = exitCode;
    // A writer that did not finish left its count in the progress alone.
    if (judged) {
        printer->bytesSent = verdict.value("bytesSent", uint64_t{0});
    }
    if (printer->kbytesTotal >= 0) {
        printer->kbytesDone = static_cast<int>(printer->bytesSent / 1024);
    }
    printer->newVersion = text(verdict, "newVersion");
    printer->verified = verdict.is_object() && verdict.value("verified", false);
    if (!text(verdict, "image").empty()) {
        printer->image = text(verdict, "image");
    }
    if (exitCode == CLI_EXIT_DONE && printer->verified) {
        decide(printer,
               verdict.value("repair", false) ? FLEET_OUTCOME_REPAIRED : FLEET_OUTCOME_UPGRADED,
               "");
    } else if (exitCode == CLI_EXIT_NO_PRINTER) {
        decide(printer, FLEET_OUTCOME_NOT_FOUND, reasonOf(*printer, exitCode));
    } else if (exitCode == CLI_EXIT_DECLINED && interrupted && printer->bytesSent == 0) {
        decide(printer, FLEET_OUTCOME_SKIPPED, "interrupted before its image was sent");
    } else if (judged) {
        decide(printer, FLEET_OUTCOME_FAILED, verdictReason(verdict));
    } else if (result == "writing") {
        decide(printer, FLEET_OUTCOME_FAILED,
               "its run ended while the image was being written, after " +
                   std::to_string(printer->bytesSent) +
                   " bytes were accepted; the printer does not hold a complete image. "
                   "Power-cycle it, then upgrade it again from this machine: the history "
                   "here knows the image it needs");
    } else {
        decide(printer, FLEET_OUTCOME_FAILED, reasonOf(*printer, exitCode));
    }
}
