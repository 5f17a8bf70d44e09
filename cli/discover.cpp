#include "cli/discover.h"

#include "cli/address_ranges.h"
#include "cli/console_output.h"
#include "cli/discovered_printer.h"
#include "cli/fleet_inventory.h"
#include "cli/record_json.h"
#include "connection/local_discovery.h"
#include "platform/local_channel.h"
#include "platform/network.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// What one run found: the printers of the family, and the other addresses (or devices) that
// answered but named none.
struct Findings {
    std::vector<DiscoveredPrinter> printers;
    json others = json::array();
};

std::string row(const std::string& where, const std::string& model, const std::string& board,
                const std::string& version, const std::string& image, const std::string& action) {
    char line[512];
    snprintf(line, sizeof line, "%-21.21s %-16.16s %-16.16s %-10.10s %-16.16s %s", where.c_str(),
             model.c_str(), board.c_str(), version.c_str(), image.c_str(), action.c_str());
    return line;
}

std::string imageText(const DiscoveredPrinter& printer) {
    if (printer.variantImages.empty()) {
        return printer.image;
    }
    std::string text;
    for (const std::string& image : printer.variantImages) {
        text += (text.empty() ? "" : " or ") + image;
    }
    return text;
}

// The printer's row, and on a line of its own below it why it was not identified: the reasons
// are long, and the table keeps within a terminal's width.
void printPrinter(const DiscoveredPrinter& printer) {
    printUserLine(row(printer.where, printableText(printer.model), printer.board,
                      printableText(printer.version), imageText(printer),
                      discoverActionText(printer.action)));
    if (!printer.reason.empty()) {
        printUserLine("    " + printableText(printer.reason));
    }
}

json printerJson(const DiscoveredPrinter& printer) {
    json entry = json::object();
    if (printer.address.empty()) {
        entry["device"] = printer.where;
    } else {
        entry["address"] = printer.address;
        entry["port"] = printer.port;
    }
    entry.update({{"model", printer.model},
                  {"board", printer.board},
                  {"version", printer.version},
                  {"image", printer.image.empty() ? json(nullptr) : json(printer.image)},
                  {"variantImages", printer.variantImages},
                  {"action", discoverActionName(printer.action)},
                  {"reason", printer.reason},
                  {"deviceId", printer.deviceId}});
    return entry;
}

// A printer of the family is kept and, on a terminal, shown at once; anything else that
// answered is kept among the others.
void takeAnswer(Findings* findings, DiscoveredPrinter printer, bool replied,
                const std::string& reply) {
    if (replied && classifyDeviceId(reply, &printer)) {
        if (liveOutput()) {
            printPrinter(printer);
        }
        findings->printers.push_back(printer);
        return;
    }
    json other = printer.address.empty()
                     ? json{{"device", printer.where}}
                     : json{{"address", printer.address}, {"port", printer.port}};
    other["reply"] = replied ? json(reply) : json(nullptr);
    findings->others.push_back(other);
}

struct NetworkFindings {
    Findings findings;
    uint16_t port;
};

void onAnswer(const AnsweringAddress& answer, void* context) {
    auto* found = static_cast<NetworkFindings*>(context);
    DiscoveredPrinter printer;
    printer.address = addressText(answer.address);
    printer.port = found->port;
    printer.where = printer.address + ":" + std::to_string(found->port);
    printer.order = answer.address;
    takeAnswer(&found->findings, printer, answer.replied, answer.deviceId);
}

// The inventory line of a printer: what fleet reads, then what a person needs to finish it. A
// printer that identified no board is left commented out, since fleet would offer it no image.
std::string inventoryLine(const DiscoveredPrinter& printer) {
    std::string about = printableText(printer.model) + ", " + printableText(printer.version);
    switch (printer.action) {
    case DISCOVER_CURRENT:
        return printer.where + "  # " + about + ": current";
    case DISCOVER_TO_UPGRADE:
        return printer.where + "  # " + about + ": to upgrade to " + printer.image;
    case DISCOVER_NEEDS_VARIANT: {
        std::string choices;
        for (size_t entry = 0; entry < printer.variantImages.size(); ++entry) {
            choices += (entry == 0 ? "" : ", ") + std::string("variant=") +
                       std::to_string(entry + 1) + " writes " + printer.variantImages[entry];
        }
        return printer.where + "  # variant=  " + about + ", " + printer.board +
               ": raster, choose one: " + choices;
    }
    default:
        return "# " + printer.where + "  " + about + ": not identified: " + printer.reason;
    }
}

bool writeInventory(const std::string& path, const CliOptions& options,
                    const std::vector<DiscoveredPrinter>& printers) {
    std::string ranges;
    for (const std::string& range : options.ranges) {
        ranges += " " + range;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "# Printers found by ticketflash discover" << ranges << " (port "
         << (options.tcpPort.empty() ? std::to_string(INVENTORY_DEFAULT_PORT) : options.tcpPort)
         << "): " << printers.size() << " printer(s).\n"
         << "# One printer a line, ADDRESS:PORT [variant=1|2], as ticketflash fleet reads it.\n"
         << "# A raster printer needs its image chosen: put variant=1 or variant=2 before its #.\n";
    for (const DiscoveredPrinter& printer : printers) {
        file << inventoryLine(printer) << "\n";
    }
    file.flush();
    return static_cast<bool>(file);
}

// How many of the printers a fleet run would treat each way, "3 to upgrade, 1 current".
std::string actionCounts(const std::vector<DiscoveredPrinter>& printers) {
    std::string counts;
    for (DiscoverAction action :
         {DISCOVER_TO_UPGRADE, DISCOVER_CURRENT, DISCOVER_NEEDS_VARIANT, DISCOVER_NOT_IDENTIFIED}) {
        auto count =
            std::count_if(printers.begin(), printers.end(),
                          [action](const DiscoveredPrinter& p) { return p.action == action; });
        if (count > 0) {
            counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " +
                      discoverActionText(action);
        }
    }
    return counts;
}

// The table and its summary, or the JSON object; returns the exit code.
int reportFindings(const CliOptions& options, const Findings& findings, json report,
                   const std::string& lookedAt, int exitCode) {
    if (exitCode == CLI_EXIT_DONE && findings.printers.empty()) {
        exitCode = CLI_EXIT_NO_PRINTER;
    }
    if (options.json || options.jsonLines) {
        json printers = json::array();
        for (const DiscoveredPrinter& printer : findings.printers) {
            printers.push_back(printerJson(printer));
        }
        report.update(
            {{"printers", printers}, {"others", findings.others}, {"exitCode", exitCode}});
        printJsonDocument(options.jsonLines ? recordStreamLine("report", report)
                                            : jsonText(report, 2));
        return exitCode;
    }
    if (liveOutput() && !findings.printers.empty()) {
        printUserLine("");
    }
    if (!findings.printers.empty()) {
        printUserLine(row(options.local ? "DEVICE" : "ADDRESS", "MODEL", "BOARD", "VERSION",
                          "IMAGE", "A FLEET RUN WOULD"));
    }
    for (const DiscoveredPrinter& printer : findings.printers) {
        printPrinter(printer);
    }
    printUserLine(lookedAt + ".");
    std::string summary = std::to_string(findings.printers.size()) + " printer(s) of the family";
    if (!findings.printers.empty()) {
        summary += " (" + actionCounts(findings.printers) + ")";
    }
    if (!findings.others.empty()) {
        summary += "; " + std::to_string(findings.others.size()) +
                   " other(s) answered without naming a printer of the family";
    }
    printUserLine(summary + ".");
    return exitCode;
}

int discoverAttached(const CliOptions& options) {
    if (!options.ranges.empty() || !options.inventoryOut.empty() || !options.tcpPort.empty()) {
        printUsageError("discover --local: the attached printers take no RANGE, --port or "
                        "--inventory-out (fleet works over TCP only)",
                        usageErrorJson(options));
        return CLI_EXIT_USAGE;
    }
    auto devices = std::make_unique<ListedPrinterDevice[]>(LISTED_USB_PRINTER_LIMIT);
    uint32_t count =
        localChannelService->listPrinterDevices(devices.get(), LISTED_USB_PRINTER_LIMIT);
    Findings findings;
    for (uint32_t index = 0; index < count; ++index) {
        DiscoveredPrinter printer;
        printer.where = devices[index].path;
        takeAnswer(&findings, printer, devices[index].deviceId[0] != '\0', devices[index].deviceId);
    }
    json report = {{"command", "discover"}, {"local", true}};
    return reportFindings(options, findings, report,
                          "Attached printers: " + std::to_string(count) + " listed", CLI_EXIT_DONE);
}

// The ranges as the user wrote them, with the number of addresses they hold, for the summary.
std::string lookedAtText(const CliOptions& options, uint64_t count, uint16_t port) {
    std::string text = "Looked at " + std::to_string(count) + " address(es) of";
    for (const std::string& range : options.ranges) {
        text += " " + range;
    }
    return text + " on port " + std::to_string(port);
}

// Every address tried, the answers classified as they come; false, with the reason on standard
// error, when the scan could not run or left addresses untried.
bool scanRanges(const CliOptions& options, const std::vector<AddressRange>& ranges,
                NetworkFindings* found) {
    PlatformError error;
    if (!networkService->startup(&error)) {
        fprintf(stderr, "ticketflash: discover: cannot start the network: %s\n",
                describedError(error).c_str());
        return false;
    }
    NetworkScan scan = {.ranges = ranges.data(),
                        .rangeCount = ranges.size(),
                        .port = found->port,
                        .jobs = static_cast<uint32_t>(options.discoverJobs),
                        .connectMilliseconds = static_cast<uint32_t>(options.connectTimeoutMs),
                        .answered = onAnswer,
                        .context = found};
    ScanShortfall shortfall;
    bool scanned = scanNetwork(scan, &shortfall, &error);
    networkService->cleanup();
    if (!scanned) {
        fprintf(stderr, "ticketflash: discover: cannot start looking: %s\n",
                describedError(error).c_str());
        return false;
    }
    if (shortfall.untried > 0) {
        fprintf(stderr, "ticketflash: discover: %llu address(es) could not be tried: %s\n",
                static_cast<unsigned long long>(shortfall.untried),
                describedError(shortfall.firstError).c_str());
        return false;
    }
    return true;
}

} // namespace

int runDiscover(const CliOptions& options) {
    setupConsoleOutput(options.json || options.jsonLines);
    if (options.local) {
        return discoverAttached(options);
    }
    if (options.ranges.empty()) {
        printUsageError("discover: name the addresses to look at (RANGE...); there is no default "
                        "range",
                        usageErrorJson(options));
        return CLI_EXIT_USAGE;
    }
    std::vector<AddressRange> ranges;
    std::string problem;
    if (!parseAddressRanges(options.ranges, static_cast<uint64_t>(options.maxAddresses), &ranges,
                            &problem)) {
        printUsageError("discover: " + problem, usageErrorJson(options));
        return CLI_EXIT_USAGE;
    }
    NetworkFindings found;
    found.port = options.tcpPort.empty() ? INVENTORY_DEFAULT_PORT
                                         : static_cast<uint16_t>(std::stoi(options.tcpPort));
    auto started = std::chrono::steady_clock::now();
    int exitCode = scanRanges(options, ranges, &found) ? CLI_EXIT_DONE : CLI_EXIT_FAILED;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::vector<DiscoveredPrinter>& printers = found.findings.printers;
    std::sort(
        printers.begin(), printers.end(),
        [](const DiscoveredPrinter& a, const DiscoveredPrinter& b) { return a.order < b.order; });
    if (!options.inventoryOut.empty() && !writeInventory(options.inventoryOut, options, printers)) {
        fprintf(stderr, "ticketflash: discover: cannot write the inventory %s\n",
                options.inventoryOut.c_str());
        exitCode = CLI_EXIT_FAILED;
    }
    json report = {
        {"command", "discover"},
        {"ranges", options.ranges},
        {"port", found.port},
        {"addresses", addressCount(ranges)},
        {"jobs", options.discoverJobs},
        {"timeoutMs", options.connectTimeoutMs},
        {"seconds", seconds},
        {"inventory", options.inventoryOut.empty() ? json(nullptr) : json(options.inventoryOut)}};
    char took[32];
    snprintf(took, sizeof took, " in %.1f s", seconds);
    return reportFindings(options, found.findings, report,
                          lookedAtText(options, addressCount(ranges), found.port) + took, exitCode);
}
