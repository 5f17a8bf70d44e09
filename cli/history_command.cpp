#include "cli/history_command.h"

#include "cli/console_output.h"
#include "cli/record_json.h"
#include "connection/ethernet.h"
#include "history/upgrade_history.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// The last line of each entry, in the order the entries began.
void keepLatest(const HistoryEntry& entry, void* context) {
    auto* entries = static_cast<std::vector<HistoryEntry>*>(context);
    for (HistoryEntry& known : *entries) {
        if (strcmp(known.id, entry.id) == 0) {
            known = entry;
            return;
        }
    }
    entries->push_back(entry);
}

// The printer the options name: its route and address as the history keeps them; an empty
// route names every printer.
void namedPrinter(const CliOptions& options, std::string* route, std::string* address) {
    if (!options.device.empty()) {
        *route = "";
        *address = options.device;
        return;
    }
    if (options.ipAddress.empty() && options.tcpPort.empty()) {
        return;
    }
    // The dialog's defaults where an option is left out, as the runs that wrote the history had.
    std::string octets[4] = {"192", "168", "0", "1"};
    size_t start = 0;
    for (int index = 0; index < 4 && !options.ipAddress.empty(); ++index) {
        size_t dot = options.ipAddress.find('.', start);
        octets[index] = options.ipAddress.substr(start, dot - start);
        start = dot + 1;
    }
    char text[64];
    formatEthernetAddress(
        octets[0].c_str(), octets[1].c_str(), octets[2].c_str(), octets[3].c_str(),
        options.tcpPort.empty() ? "10001" : options.tcpPort.c_str(), text, sizeof text);
    *route = "tcp";
    *address = text;
}

bool isNamed(const HistoryEntry& entry, const std::string& route, const std::string& address) {
    if (address.empty()) {
        return true;
    }
    return address == entry.address &&
           (route.empty() ? strcmp(entry.route, "tcp") != 0 : route == entry.route);
}

json entryJson(const HistoryEntry& entry) {
    return {{"entry", entry.id},
            {"state", historyStateName(entry.state)},
            {"started", entry.started},
            {"ended", entry.ended},
            {"route", entry.route},
            {"address", entry.address},
            {"usbSerial", entry.usbSerial},
            {"deviceId", entry.deviceId},
            {"model", entry.model},
            {"oldVersion", entry.oldVersion},
            {"image", entry.image},
            {"sha256", entry.sha256},
            {"repair", entry.repair},
            {"failure", entry.failure},
            {"error", entry.error},
            {"bytesAccepted", entry.bytesAccepted},
            {"imageSize", entry.imageSize},
            {"newVersion", entry.newVersion}};
}

using Row = std::vector<std::string>;

// The rows as aligned columns, each as wide as its widest cell.
std::vector<std::string> alignedLines(const std::vector<Row>& rows) {
    std::vector<size_t> widths;
    for (const Row& cells : rows) {
        widths.resize(std::max(widths.size(), cells.size()), 0);
        for (size_t column = 0; column < cells.size(); ++column) {
            widths[column] = std::max(widths[column], cells[column].size());
        }
    }
    std::vector<std::string> lines;
    for (const Row& cells : rows) {
        std::string line;
        for (size_t column = 0; column < cells.size(); ++column) {
            line += cells[column];
            if (column + 1 < cells.size()) {
                line += std::string(widths[column] - cells[column].size() + 2, ' ');
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// The version as the printer's device id ends it ("V1.00;"), without the ';'.
std::string shortVersion(const char* version) {
    std::string text = version;
    return text.substr(0, text.find(';'));
}

Row entryRow(const HistoryEntry& entry) {
    std::string state = historyStateName(entry.state);
    if (entry.state == HISTORY_FAILED && entry.failure[0] != '\0') {
        state += " (" + std::string(entry.failure) + ")";
    }
    std::string bytes = entry.imageSize > 0 ? std::to_string(entry.bytesAccepted) + "/" +
                                                  std::to_string(entry.imageSize)
                                            : "";
    return {entry.started,
            std::string(entry.route) + " " + printableText(entry.address),
            printableText(entry.model),
            printableText(shortVersion(entry.oldVersion)) + " -> " + entry.image +
                (entry.repair ? " (repair)" : ""),
            state,
            bytes,
            printableText(shortVersion(entry.newVersion))};
}

} // namespace

int runHistory(const CliOptions& options) {
    setupConsoleOutput(options.json || options.jsonLines);
    std::vector<HistoryEntry> entries;
    bool read = forEachHistoryLine(keepLatest, &entries);
    std::string route;
    std::string address;
    namedPrinter(options, &route, &address);
    json list = json::array();
    std::vector<Row> rows = {
        {"STARTED", "PRINTER", "MODEL", "VERSION -> IMAGE", "RESULT", "BYTES", "NOW"}};
    for (const HistoryEntry& entry : entries) {
        if (isNamed(entry, route, address)) {
            list.push_back(entryJson(entry));
            rows.push_back(entryRow(entry));
        }
    }
    int exitCode = read ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
    if (options.json || options.jsonLines) {
        json report = {{"command", "history"}, {"entries", list}, {"exitCode", exitCode}};
        printJsonDocument(options.jsonLines ? recordStreamLine("report", report)
                                            : jsonText(report, 2));
        return exitCode;
    }
    if (!read) {
        fprintf(stderr, "ticketflash: history: the history of upgrades cannot be read\n");
    }
    if (rows.size() == 1) {
        printUserLine("No upgrade is in the history.");
        return exitCode;
    }
    for (const std::string& line : alignedLines(rows)) {
        printUserLine(line);
    }
    return exitCode;
}
