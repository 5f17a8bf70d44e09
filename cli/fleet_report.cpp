#include "cli/fleet_report.h"

#include "cli/cli_options.h"

#include <algorithm>
#include <cstdio>

namespace {

using nlohmann::json;

// The version as the printer's device id ends it ("V1.00;"), without the ';'.
std::string shortVersion(const std::string& version) {
    return version.substr(0, version.find(';'));
}

std::string kbytesText(const FleetPrinter& printer) {
    if (printer.kbytesTotal < 0) {
        return "";
    }
    return std::to_string(printer.kbytesDone < 0 ? 0 : printer.kbytesDone) + "/" +
           std::to_string(printer.kbytesTotal);
}

std::string row(const std::string& printer, const std::string& model, const std::string& versions,
                const std::string& phase, const std::string& kbytes, const std::string& result) {
    char line[1024]; // room for the result's reason
    snprintf(line, sizeof line, "%-21.21s %-10.10s %-17.17s %-32.32s %-9.9s %s", printer.c_str(),
             model.c_str(), versions.c_str(), phase.c_str(), kbytes.c_str(), result.c_str());
    // A row without a result ends at its last column, not in padding.
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string phaseText(const FleetPrinter& printer) {
    return printer.canary ? printer.phase + " (canary)" : printer.phase;
}

int countOf(const std::vector<FleetPrinter>& printers, FleetOutcome outcome) {
    int count = 0;
    for (const FleetPrinter& printer : printers) {
        count += printer.outcome == outcome ? 1 : 0;
    }
    return count;
}

} // namespace

std::string fleetTableHeading() {
    return row("PRINTER", "MODEL", "VERSION -> IMAGE", "PHASE", "KBYTES", "RESULT");
}

std::vector<std::string> fleetTable(const std::vector<FleetPrinter>& printers) {
    std::vector<std::string> rows = {fleetTableHeading()};
    for (const FleetPrinter& printer : printers) {
        rows.push_back(fleetTableRow(printer));
    }
    return rows;
}

std::string fleetTableRow(const FleetPrinter& printer) {
    std::string versions = shortVersion(printer.version);
    if (!printer.image.empty()) {
        versions += " -> " + printer.image;
    }
    bool open = printer.outcome == FLEET_OUTCOME_OPEN;
    return row(printerName(printer), printer.model, versions, open ? phaseText(printer) : "",
               kbytesText(printer), open ? "" : fleetResultText(printer));
}

std::string fleetResultText(const FleetPrinter& printer) {
    std::string words = outcomeName(printer.outcome);
    std::replace(words.begin(), words.end(), '-', ' ');
    return printer.reason.empty() ? words : words + ": " + printer.reason;
}

std::string fleetEventText(const FleetPrinter& printer) {
    std::string model = printer.model + " " + shortVersion(printer.version);
    switch (printer.outcome) {
    case FLEET_OUTCOME_OPEN:
        if (printer.phase == "to upgrade" || printer.phase == "to repair") {
            return phaseText(printer) + ": " + model + " -> " + printer.image;
        }
        return printer.kbytesTotal >= 0 && printer.phase == "Programming"
                   ? "Programming " + kbytesText(printer) + " KBytes"
                   : printer.phase;
    case FLEET_OUTCOME_UPGRADED:
    case FLEET_OUTCOME_REPAIRED:
        return std::string(outcomeName(printer.outcome)) + ": " + printer.model + " now runs " +
               shortVersion(printer.newVersion);
    case FLEET_OUTCOME_CURRENT:
        return "current: " + model + " already runs " + printer.image;
    case FLEET_OUTCOME_SKIPPED:
    case FLEET_OUTCOME_FAILED:
    case FLEET_OUTCOME_NOT_FOUND:
    case FLEET_OUTCOME_NOT_STARTED:
        break;
    }
    return fleetResultText(printer);
}

std::string fleetSummaryLine(const std::vector<FleetPrinter>& printers) {
    int planned = countOf(printers, FLEET_OUTCOME_OPEN);
    std::string line = planned > 0 ? std::to_string(planned) + " to upgrade, " : "";
    line += std::to_string(countOf(printers, FLEET_OUTCOME_UPGRADED)) + " upgraded, " +
            std::to_string(countOf(printers, FLEET_OUTCOME_CURRENT)) + " current, " +
            std::to_string(countOf(printers, FLEET_OUTCOME_FAILED)) + " failed, " +
            std::to_string(countOf(printers, FLEET_OUTCOME_NOT_FOUND)) + " not found";
    for (FleetOutcome outcome :
         {FLEET_OUTCOME_REPAIRED, FLEET_OUTCOME_SKIPPED, FLEET_OUTCOME_NOT_STARTED}) {
        int count = countOf(printers, outcome);
        line += count > 0 ? ", " + std::to_string(count) + " " +
                                (outcome == FLEET_OUTCOME_NOT_STARTED ? "not started"
                                                                      : outcomeName(outcome))
                          : "";
    }
    return line;
}

int fleetExitCode(const std::vector<FleetPrinter>& printers, bool stopped) {
    int notFound = countOf(printers, FLEET_OUTCOME_NOT_FOUND);
    bool noneFound = notFound == static_cast<int>(printers.size());
    if (countOf(printers, FLEET_OUTCOME_FAILED) > 0 ||
        countOf(printers, FLEET_OUTCOME_NOT_STARTED) > 0 || (notFound > 0 && !noneFound)) {
        return CLI_EXIT_FAILED;
    }
    if (stopped) {
        return CLI_EXIT_DECLINED;
    }
    return noneFound ? CLI_EXIT_NO_PRINTER : CLI_EXIT_DONE;
}

json fleetReportJson(const std::vector<FleetPrinter>& printers, int exitCode, bool dryRun) {
    json list = json::array();
    for (const FleetPrinter& printer : printers) {
        list.push_back({{"address", printer.where.address},
                        {"host", printer.where.host},
                        {"port", printer.where.port},
                        {"outcome", outcomeName(printer.outcome)},
                        {"reason", printer.reason},
                        {"model", printer.model},
                        {"version", printer.version},
                        {"image", printer.image},
                        {"bytesSent", printer.bytesSent},
                        {"newVersion", printer.newVersion},
                        {"verified", printer.verified},
                        {"canary", printer.canary},
                        {"messages", printer.messages},
                        {"exitCode", printer.exitCode}});
    }
    json summary = {{"upgraded", countOf(printers, FLEET_OUTCOME_UPGRADED)},
                    {"current", countOf(printers, FLEET_OUTCOME_CURRENT)},
                    {"skipped", countOf(printers, FLEET_OUTCOME_SKIPPED)},
                    {"failed", countOf(printers, FLEET_OUTCOME_FAILED)},
                    {"notFound", countOf(printers, FLEET_OUTCOME_NOT_FOUND)},
                    {"repaired", countOf(printers, FLEET_OUTCOME_REPAIRED)},
                    {"notStarted", countOf(printers, FLEET_OUTCOME_NOT_STARTED)}};
    json report = {{"printers", list}, {"summary", summary}, {"exitCode", exitCode}};
    if (dryRun) {
        report["dryRun"] = true;
        report["summary"]["planned"] = countOf(printers, FLEET_OUTCOME_OPEN);
    }
    return report;
}
