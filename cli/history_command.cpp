#include "cli/history_command.h"

#include "cli/console_output.h"
#include "cli/record_json.h"
#include "connection/ethernet.h"
#include "history/upgrade_history.h"

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

std::string row(const std::string& started, const std::string& printer, const std::string& model,
                const std::string& versions, const std::string& state, const std::string& bytes,
                const std::string& now) {
    char line[512];
    snprintf(line, sizeof line, "%-20.20s %-24.24s %-12.12s %-18.18s %-12.12s %-15.15s %s",
             started.c_str(), printer.c_str(), model.c_str(), versions.c_str(), state.c_str(),
             bytes.c_str(), now.c_str());
    return line;
}

// The version as the printer's device id ends it ("V1.00;"), without the ';'.
std::string shortVersion(const char* version) {
    std::string text = version;
    return text.substr(0, text.find(';'));
}

std::string entryRow(const HistoryEntry& entry) {
    std::string state = historyStateName(entry.state);
    if (entry.state == HISTORY_FAILED && entry.failure[0] != '\0') {
        state += " (" + std::string(entry.failure) + ")";
    }
    std::string bytes = entry.imageSize > 0 ? std::to_string(entry.bytesAccepted) + "/" +
                                                  std::to_string(entry.imageSize)
                                            : "";
    return row(entry.started, std::string(entry.route) + " " + entry.address,
               printableText(entry.model),
               printableText(shortVersion(entry.oldVersion)) + " -> " + entry.image +
                   (entry.repair ? " (repair)" : ""),
               state, bytes, printableText(shortVersion(entry.newVersion)));
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
    std::vector<std::string> rows = {
        row("STARTED", "PRINTER", "MODEL", "VERSION -> IMAGE", "RESULT", "BYTES", "NOW")};
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
    for (const std::string& line : rows.size() > 1 ? rows : std::vector<std::string>{}) {
        printUserLine(line);
    }
    if (rows.size() == 1) {
        printUserLine("No upgrade is in the history.");
    }
    return exitCode;
}
