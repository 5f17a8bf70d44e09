#include "cli/fleet.h"

#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/fleet_report.h"
#include "platform/console.h"
#include "platform/designated_only.h"
#include "platform/kernel.h"
#include "platform/process.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// How often the children's pipes are read and the table redrawn.
constexpr uint32_t POLL_MILLISECONDS = 100;
// A child run bounds its own waits; one that is still there after this long is interrupted.
constexpr auto CHILD_TIME_LIMIT = std::chrono::minutes(20);
constexpr char NOT_STARTED[] = "interrupted before its upgrade started";

struct RunningChild {
    FleetPrinter* printer;
    ChildHandle handle;
    std::string pendingLine; // the start of a record line whose end has not come yet
    bool interrupted;
    bool overdue; // interrupted for running longer than CHILD_TIME_LIMIT
    std::chrono::steady_clock::time_point startedAt;
};

// One pass over printers: which child run each gets, and what is made of its end.
struct ChildPass {
    DesignatedOnly designatedOnly{};
    std::vector<std::string> (*arguments)(const FleetPrinter& printer);
    void (*judge)(FleetPrinter* printer, const RunningChild& child, int exitCode);
    const char* startPhase;
};

CliOptions fleetOptions;
std::vector<FleetPrinter> fleet;
std::vector<std::string> shownEvents; // the last plain line of each printer
std::atomic<bool> stopRequested{false};
std::atomic<bool> questionOpen{false};

std::vector<std::string> addressArguments(const FleetPrinter& printer) {
    return {"--ip", printer.where.address, "--port", std::to_string(printer.where.port)};
}

// fleet --record FILE: each child run records its own printer in a file beside FILE, named
// after it: "venue.jsonl" gives "venue-10.0.0.5-10001-find.jsonl", "...-upgrade.jsonl".
std::vector<std::string> recordArguments(const FleetPrinter& printer, const char* command) {
    if (fleetOptions.recordFile.empty()) {
        return {};
    }
    std::string stem = fleetOptions.recordFile;
    size_t dot = stem.rfind('.');
    size_t folder = stem.find_last_of("/\\");
    std::string extension;
    if (dot != std::string::npos && (folder == std::string::npos || dot > folder)) {
        extension = stem.substr(dot);
        stem.resize(dot);
    }
    return {"--record", stem + "-" + printer.where.address + "-" +
                            std::to_string(printer.where.port) + "-" + command + extension};
}

// The child's command line: the recording, the command's words, then the printer's address.
std::vector<std::string> childArguments(const FleetPrinter& printer, const char* command,
                                        std::vector<std::string> words) {
    std::vector<std::string> arguments = recordArguments(printer, command);
    arguments.insert(arguments.end(), words.begin(), words.end());
    for (const std::string& argument : addressArguments(printer)) {
        arguments.push_back(argument);
    }
    return arguments;
}

std::vector<std::string> probeArguments(const FleetPrinter& printer) {
    return childArguments(printer, "find", {"--json-lines", "find"});
}

std::vector<std::string> upgradeArguments(const FleetPrinter& printer) {
    std::vector<std::string> arguments =
        childArguments(printer, "upgrade", {"--json-lines", "upgrade", "--yes"});
    if (printer.where.variant != 0) {
        arguments.insert(arguments.end(), {"--variant", std::to_string(printer.where.variant)});
    }
    return arguments;
}

void judgeProbeChild(FleetPrinter* printer, const RunningChild&, int exitCode) {
    judgeProbe(printer, exitCode, fleetOptions.reinstall);
}

void judgeUpgradeChild(FleetPrinter* printer, const RunningChild& child, int exitCode) {
    judgeUpgrade(printer, exitCode, child.interrupted);
}

const ChildPass PROBE_PASS = {
    .arguments = probeArguments,
    .judge = judgeProbeChild,
    .startPhase = "probing",
};
const ChildPass UPGRADE_PASS = {
    .arguments = upgradeArguments,
    .judge = judgeUpgradeChild,
    .startPhase = "starting",
};

// The table on a terminal, else a plain line for each printer whose event changed.
void showFleet() {
    if (liveTableOutput()) {
        std::vector<std::string> rows = {fleetTableHeading()};
        for (const FleetPrinter& printer : fleet) {
            rows.push_back(fleetTableRow(printer));
        }
        showLiveTable(rows);
        return;
    }
    for (size_t index = 0; index < fleet.size(); ++index) {
        std::string event = fleetEventText(fleet[index]);
        if (!event.empty() && event != shownEvents[index]) {
            printUserLine(printerName(fleet[index]) + "  " + event);
            shownEvents[index] = event;
        }
    }
}

bool startChild(FleetPrinter* printer, const ChildPass& pass, RunningChild* child) {
    std::vector<std::string> arguments = pass.arguments(*printer);
    std::vector<const char*> list;
    for (const std::string& argument : arguments) {
        list.push_back(argument.c_str());
    }
    list.push_back(nullptr);
    PlatformError error;
    ChildHandle handle = processService->startSelf(list.data(), &error);
    if (handle == NO_CHILD) {
        printer->outcome = FLEET_OUTCOME_FAILED;
        printer->reason = "its run could not be started: " + describedError(error);
        return false;
    }
    printer->phase = pass.startPhase;
    startChildRecords(printer);
    *child = {printer, handle, {}, false, false, std::chrono::steady_clock::now()};
    return true;
}

// Follows each complete line of the child's record stream (its standard output).
void followOutput(RunningChild* child, const char* bytes, size_t count) {
    child->pendingLine.append(bytes, count);
    size_t start = 0;
    size_t end = 0;
    while ((end = child->pendingLine.find('\n', start)) != std::string::npos) {
        followRecordLine(child->printer, child->pendingLine.substr(start, end - start));
        start = end + 1;
    }
    child->pendingLine.erase(0, start);
}

// Reads what the child wrote: its records on standard output; its standard error is read only
// so that the child never waits on a full pipe. True when both streams have ended.
bool readChild(RunningChild* child) {
    bool ended = true;
    char buffer[4096];
    for (ChildStream stream : {CHILD_OUTPUT, CHILD_ERRORS}) {
        int32_t count = 0;
        while ((count = processService->readChild(child->handle, stream, buffer, sizeof buffer)) >
               0) {
            if (stream == CHILD_OUTPUT) {
                followOutput(child, buffer, static_cast<size_t>(count));
            }
        }
        ended = ended && count == CHILD_STREAM_ENDED;
    }
    return ended;
}

// True when the child has ended and all it wrote was read; its printer is then judged.
bool childFinished(RunningChild* child, const ChildPass& pass) {
    bool streamsEnded = readChild(child);
    int exitCode = CHILD_EXIT_ABNORMAL;
    if (!processService->childEnded(child->handle, &exitCode)) {
        return false;
    }
    // What the child wrote before it ended is all in the pipes by now.
    if (!streamsEnded) {
        readChild(child);
    }
    processService->releaseChild(child->handle);
    pass.judge(child->printer, *child, exitCode);
    FleetPrinter* printer = child->printer;
    if (child->overdue && printer->outcome != FLEET_OUTCOME_UPGRADED &&
        printer->outcome != FLEET_OUTCOME_REPAIRED) {
        printer->outcome = FLEET_OUTCOME_FAILED;
        printer->reason =
            "its run did not end within 20 minutes and was interrupted; " + printer->reason;
    }
    return true;
}

void interruptWhereDue(std::vector<RunningChild>* running) {
    auto now = std::chrono::steady_clock::now();
    for (RunningChild& child : *running) {
        child.overdue = child.overdue || now - child.startedAt > CHILD_TIME_LIMIT;
        if ((stopRequested.load() || child.overdue) && !child.interrupted) {
            processService->interruptChild(child.handle);
            child.interrupted = true;
        }
    }
}

// Runs the pass's child for each printer that is still open, at most --jobs at once, until
// every child started has ended. After an interrupt no further child starts.
void runPass(const ChildPass& pass) {
    std::vector<FleetPrinter*> waiting;
    for (FleetPrinter& printer : fleet) {
        if (printer.outcome == FLEET_OUTCOME_OPEN) {
            waiting.push_back(&printer);
        }
    }
    std::vector<RunningChild> running;
    size_t next = 0;
    while (!running.empty() || (next < waiting.size() && !stopRequested.load())) {
        while (!stopRequested.load() && next < waiting.size() &&
               running.size() < static_cast<size_t>(fleetOptions.jobs)) {
            RunningChild child;
            if (startChild(waiting[next++], pass, &child)) {
                running.push_back(child);
            }
        }
        interruptWhereDue(&running);
        for (size_t index = running.size(); index-- > 0;) {
            if (childFinished(&running[index], pass)) {
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
            }
        }
        showFleet();
        sleepMilliseconds(POLL_MILLISECONDS);
    }
}

void skipOpenPrinters(const std::string& reason) {
    for (FleetPrinter& printer : fleet) {
        if (printer.outcome == FLEET_OUTCOME_OPEN) {
            printer.outcome = FLEET_OUTCOME_SKIPPED;
            printer.reason = reason;
        }
    }
}

// The summary, each failure's reason, or the JSON object. Returns the exit code.
int endFleet(bool stopped) {
    showFleet();
    int exitCode = fleetExitCode(fleet, stopped);
    if (fleetOptions.json) {
        printJsonDocument(fleetReportJson(fleet, exitCode)
                              .dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
        return exitCode;
    }
    printUserLine("");
    if (stopRequested.load()) {
        printUserLine("Interrupted: the images being written were finished; no other printer "
                      "was started.");
    }
    printUserLine(fleetSummaryLine(fleet));
    for (const FleetPrinter& printer : fleet) {
        if (printer.outcome == FLEET_OUTCOME_FAILED || printer.outcome == FLEET_OUTCOME_NOT_FOUND) {
            printUserLine(printerName(printer) + " " + outcomeName(printer.outcome) + ": " +
                          printer.reason);
        }
    }
    return exitCode;
}

// An interrupt stops the run where it stands: while the question waits it ends the run at
// once, nothing having been sent; otherwise the loops see it.
void onFleetInterrupt(ConsoleInterrupt) {
    if (questionOpen.load()) {
        skipOpenPrinters(NOT_STARTED);
        int exitCode = endFleet(true);
        flushConsoleOutput();
        std::_Exit(exitCode);
    }
    stopRequested = true;
}

int countOpen() {
    int count = 0;
    for (const FleetPrinter& printer : fleet) {
        count += printer.outcome == FLEET_OUTCOME_OPEN ? 1 : 0;
    }
    return count;
}

// The plan, shown and confirmed once: Yes with --yes, else asked on a terminal, else refused.
bool planConfirmed() {
    int count = countOpen();
    if (count == 0 || fleetOptions.yes) {
        return true;
    }
    if (!consoleService->isTerminal(CONSOLE_INPUT)) {
        fprintf(stderr,
                "ticketflash: fleet: %d printer(s) to upgrade; without a terminal to ask, "
                "confirm with --yes\n",
                count);
        skipOpenPrinters("not confirmed: no terminal to ask, and no --yes");
        return false;
    }
    std::string plan = "\n";
    for (const FleetPrinter& printer : fleet) {
        if (printer.outcome == FLEET_OUTCOME_OPEN) {
            plan += "  " + printerName(printer) + "  " + printer.model + "  " + printer.version +
                    " -> " + printer.image + "\n";
        }
    }
    questionOpen = true;
    printPrompt(plan + "Upgrade these " + std::to_string(count) + " printer(s)? [y/N] ");
    char answer[16] = "";
    bool typed = consoleService->readLine(answer, sizeof answer);
    promptAnswered();
    questionOpen = false;
    if (typed && answeredYes(answer)) {
        return true;
    }
    skipOpenPrinters("declined: the plan was answered No");
    return false;
}

// The inventory into the fleet, or a usage error naming the file and the line.
bool loadInventory(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    if (!file) {
        printUsageError(path + ": cannot read the inventory", usageErrorJson(fleetOptions));
        return false;
    }
    std::vector<InventoryPrinter> printers;
    std::string error;
    if (!parseInventory(text.str(), &printers, &error)) {
        printUsageError(path + ": " + error, usageErrorJson(fleetOptions));
        return false;
    }
    if (printers.empty()) {
        printUsageError(path + ": the inventory lists no printer", usageErrorJson(fleetOptions));
        return false;
    }
    for (const InventoryPrinter& where : printers) {
        FleetPrinter printer;
        printer.where = where;
        printer.phase = "waiting";
        fleet.push_back(printer);
    }
    shownEvents.assign(fleet.size(), "");
    return true;
}

} // namespace

int runFleet(const CliOptions& options) {
    fleetOptions = options;
    fleet.clear();
    stopRequested = false;
    setupConsoleOutput(options.json);
    if (!loadInventory(options.inventory)) {
        return CLI_EXIT_USAGE;
    }
    PlatformError error;
    if (!consoleService->watchInterrupts(onFleetInterrupt, &error)) {
        fprintf(stderr, "ticketflash: cannot watch for interrupts: %s\n",
                describedError(error).c_str());
    }
    runPass(PROBE_PASS);
    if (stopRequested.load()) {
        skipOpenPrinters(NOT_STARTED);
        return endFleet(true);
    }
    if (!planConfirmed()) {
        return endFleet(true);
    }
    runPass(UPGRADE_PASS);
    bool stopped = stopRequested.load();
    skipOpenPrinters(NOT_STARTED);
    return endFleet(stopped);
}
