#include "cli/fleet_printer.h"

#include "cli/upgrade_check.h"
#include "identity/firmware_selection.h"

#include <cstdio>
#include <string>

namespace {

using nlohmann::json;

json parsedReport(const std::string& output) {
    json report = json::parse(output, nullptr, false);
    return report.is_object() ? report : json::object();
}

std::string text(const json& report, const char* key) {
    return report.contains(key) && report[key].is_string() ? report[key].get<std::string>() : "";
}

// The first line of standard error that the tool wrote as an error: "ticketflash: ...".
std::string errorLine(const std::string& errors) {
    size_t start = errors.find("ticketflash: ");
    if (start == std::string::npos) {
        return "";
    }
    size_t end = errors.find('\n', start);
    return errors.substr(start + 13, end == std::string::npos ? end : end - start - 13);
}

// The texts of the message boxes the child run showed, one after the other.
std::string messagesOf(const json& report) {
    std::string joined;
    if (report.contains("messages") && report["messages"].is_array()) {
        for (const json& message : report["messages"]) {
            std::string said = text(message, "text");
            joined += (joined.empty() || said.empty() ? "" : "; ") + said;
        }
    }
    return joined;
}

// Why a child run went wrong, in the words it used: its message boxes, else its error line,
// else the probe's status line, else its exit code.
std::string reasonOf(const json& report, const std::string& errors, int exitCode) {
    std::string reason = messagesOf(report);
    if (reason.empty()) {
        reason = errorLine(errors);
    }
    if (reason.empty()) {
        reason = text(report, "status");
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

// The label in the last parentheses of the upgrade button's caption: "Update G printer to new
// version? (V1.12)".
std::string captionLabel(const std::string& caption) {
    size_t open = caption.rfind('(');
    size_t close = caption.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return "";
    }
    return caption.substr(open + 1, close - open - 1);
}

// The image label of a raster printer's entry: the combo box shows one of the tool's name
// lists; its version list, beside it, holds the labels.
std::string variantLabel(const json& variants, int variant) {
    const char* const* names[] = {variantNamesLogicI, variantNamesLogicII, variantNamesMz54};
    const char* const* versions[] = {variantVersionsLogicI, variantVersionsLogicII,
                                     variantVersionsMz54};
    for (size_t list = 0; list < 3; ++list) {
        int count = variantEntryCount(names[list]);
        bool same = variants.is_array() && static_cast<int>(variants.size()) == count;
        for (int entry = 0; same && entry < count; ++entry) {
            same = variants[entry] == names[list][entry];
        }
        if (same && variant <= count) {
            return versions[list][variant - 1];
        }
    }
    return "";
}

// The image the upgrade will write, as the dialog chooses it; an outcome instead when the
// printer gets none.
void chooseImage(FleetPrinter* printer, const json& report) {
    bool variantsShown = !report.value("upgradeEnabled", false) && report.contains("variants") &&
                         !report["variants"].empty();
    if (report.value("upgradeEnabled", false)) {
        if (printer->where.variant != 0) {
            decide(printer, FLEET_OUTCOME_FAILED,
                   "variant= is given, but this printer has no firmware variants");
            return;
        }
        printer->image = captionLabel(text(report, "caption"));
    } else if (variantsShown) {
        if (printer->where.variant == 0) {
            decide(printer, FLEET_OUTCOME_SKIPPED,
                   "a raster printer: give it variant=1 or variant=2 in the inventory");
            return;
        }
        printer->image = variantLabel(report["variants"], printer->where.variant);
    }
    if (printer->image.empty()) {
        decide(printer, FLEET_OUTCOME_FAILED,
               "the tool has no firmware for this printer: " + text(report, "caption"));
    }
}

int numberBefore(const std::string& line, const char* words) {
    size_t at = line.find(words);
    size_t start = line.rfind(' ', at == std::string::npos || at == 0 ? 0 : at - 1);
    return at == std::string::npos ? -1
                                   : atoi(line.c_str() + (start == std::string::npos ? 0 : start));
}

} // namespace

std::string printerName(const FleetPrinter& printer) {
    return printer.where.address + ":" + std::to_string(printer.where.port);
}

const char* outcomeName(FleetOutcome outcome) {
    static const char* const names[] = {"open",    "upgraded", "current",
                                        "skipped", "failed",   "not-found"};
    return names[outcome];
}

void judgeProbe(FleetPrinter* printer, int exitCode, const std::string& output,
                const std::string& errors, bool reinstall) {
    json report = parsedReport(output);
    printer->exitCode = exitCode;
    printer->model = text(report, "model");
    printer->version = text(report, "version");
    if (report.contains("messages")) {
        printer->messages = report["messages"];
    }
    if (exitCode == 3) {
        decide(printer, FLEET_OUTCOME_NOT_FOUND, reasonOf(report, errors, exitCode));
        return;
    }
    if (exitCode != 0) {
        decide(printer, FLEET_OUTCOME_FAILED, reasonOf(report, errors, exitCode));
        return;
    }
    chooseImage(printer, report);
    if (printer->outcome != FLEET_OUTCOME_OPEN) {
        return;
    }
    if (versionRunsImage(printer->version, printer->image) && !reinstall) {
        decide(printer, FLEET_OUTCOME_CURRENT, "");
        return;
    }
    printer->phase = "to upgrade";
}

void followProgressLine(FleetPrinter* printer, const std::string& line) {
    if (line.empty() || line.rfind("ticketflash: ", 0) == 0) {
        return;
    }
    if (line.rfind("Programming [", 0) == 0) {
        printer->phase = "Programming";
        printer->kbytesDone = numberBefore(line, " of ");
        printer->kbytesTotal = numberBefore(line, " KBytes");
        return;
    }
    printer->phase = line;
}

void judgeUpgrade(FleetPrinter* printer, int exitCode, const std::string& output,
                  const std::string& errors, bool interrupted) {
    json report = parsedReport(output);
    printer->exitCode = exitCode;
    printer->bytesSent = report.value("bytesSent", uint64_t{0});
    // The progress lines come at each tenth of the image: the count of the end is exact.
    if (printer->kbytesTotal >= 0) {
        printer->kbytesDone = static_cast<int>(printer->bytesSent / 1024);
    }
    printer->newVersion = text(report, "newVersion");
    printer->verified = report.value("verified", false);
    if (report.contains("messages")) {
        printer->messages = report["messages"];
    }
    if (!text(report, "image").empty()) {
        printer->image = text(report, "image");
    }
    if (exitCode == 0 && printer->verified) {
        decide(printer, FLEET_OUTCOME_UPGRADED, "");
    } else if (exitCode == 3) {
        decide(printer, FLEET_OUTCOME_NOT_FOUND, reasonOf(report, errors, exitCode));
    } else if (exitCode == 2 && interrupted && printer->bytesSent == 0) {
        decide(printer, FLEET_OUTCOME_SKIPPED, "interrupted before its image was sent");
    } else if (printer->bytesSent > 0 && exitCode >= 0) {
        // The image went out: the closing probe's version says how the printer came back.
        std::string said = messagesOf(report);
        std::string verdict =
            upgradeVerdict(!printer->newVersion.empty(), printer->newVersion, printer->image);
        decide(printer, FLEET_OUTCOME_FAILED, said.empty() ? verdict : said + "; " + verdict);
    } else {
        decide(printer, FLEET_OUTCOME_FAILED, reasonOf(report, errors, exitCode));
    }
}
