#include "cli/fleet.h"

#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "cli/fleet_report.h"
#include "platform/console.h"
#include "platform/designated_only.h"
#include "platform/kernel.h"
#include "platform/network.h"
#include "platform/process.h"
#include "platform/user_files.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// How often the children's pipes are read and the table redrawn.
constexpr uint32_t POLL_MILLISECONDS = 100;
// A child run bounds its own waits; one that is still there after this long is interrupted.
constexpr auto CHILD_TIME_LIMIT = std::chrono::minutes(20);
constexpr char INTERRUPTED_BEFORE_START[] = "interrupted before its upgrade started";

struct ChildPass;

struct RunningChild {
    FleetPrinter* printer;
    const ChildPass* pass;
    ChildHandle handle;
    std::string pendingLine; // the start of a record line whose end has not come yet
    bool interrupted;
    bool overdue; // interrupted for running longer than CHILD_TIME_LIMIT
    std::chrono::steady_clock::time_point startedAt;
};

// One kind of child run: its arguments, what is made of its end, and the stages it moves its
// printer through.
struct ChildPass {
    DesignatedOnly designatedOnly{};
    std::vector<std::string> (*arguments)(const FleetPrinter& printer);
    void (*judge)(FleetPrinter* printer, const RunningChild& child, int exitCode);
    const char* startPhase;
    FleetStage runningStage;
    FleetStage endedStage;
};

CliOptions fleetOptions;
std::vector<FleetPrinter> fleet;
std::vector<std::string> shownEvents; // the last plain line of each printer
std::atomic<bool> stopRequested{false};
std::atomic<bool> questionOpen{false};
int upgradesFailed = 0;
// Whether upgrades may start: at once with --yes, else once the plan is confirmed.
bool upgradesConfirmed = false;
// The canaries are chosen in inventory order as the probes end: the printers up to canaryCursor
// have been looked at, canariesChosen once all are known.
size_t canaryCursor = 0;
int canariesMarked = 0;
bool canariesChosen = false;
int probedToUpgrade = 0; // probes that found their printer needs an image

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
    probedToUpgrade += printer->outcome == FLEET_OUTCOME_OPEN ? 1 : 0;
}

void judgeUpgradeChild(FleetPrinter* printer, const RunningChild& child, int exitCode) {
    judgeUpgrade(printer, exitCode, child.interrupted);
    if (printer->outcome == FLEET_OUTCOME_FAILED || printer->outcome == FLEET_OUTCOME_NOT_FOUND) {
        ++upgradesFailed;
    }
}

// --max-failures: the upgrades already running finish, no other starts.
bool belowFailureLimit() {
    return fleetOptions.maxFailures == 0 || upgradesFailed < fleetOptions.maxFailures;
}

const ChildPass PROBE_PASS = {
    .arguments = probeArguments,
    .judge = judgeProbeChild,
    .startPhase = "probing",
    .runningStage = FLEET_STAGE_PROBING,
    .endedStage = FLEET_STAGE_PROBED,
};
const ChildPass UPGRADE_PASS = {
    .arguments = upgradeArguments,
    .judge = judgeUpgradeChild,
    .startPhase = "starting",
    .runningStage = FLEET_STAGE_UPGRADING,
    .endedStage = FLEET_STAGE_UPGRADED,
};

// The table on a terminal, else a plain line for each printer whose event changed.
void showFleet() {
    if (liveTableOutput()) {
        showLiveTable(fleetTable(fleet));
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
        printer->stage = pass.endedStage;
        printer->outcome = FLEET_OUTCOME_FAILED;
        printer->reason = "its run could not be started: " + describedError(error);
        return false;
    }
    printer->stage = pass.runningStage;
    printer->phase = pass.startPhase;
    startChildRecords(printer);
    *child = {printer, &pass, handle, {}, false, false, std::chrono::steady_clock::now()};
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
bool childFinished(RunningChild* child) {
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
    child->printer->stage = child->pass->endedStage;
    child->pass->judge(child->printer, *child, exitCode);
    FleetPrinter* printer = child->printer;
    if (child->overdue && !fleetVerified(*printer)) {
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

void closeOpenPrinters(FleetOutcome outcome, const std::string& reason) {
    for (FleetPrinter& printer : fleet) {
        if (printer.outcome == FLEET_OUTCOME_OPEN) {
            printer.outcome = outcome;
            printer.reason = reason;
        }
    }
}

void skipOpenPrinters(const std::string& reason) {
    closeOpenPrinters(FLEET_OUTCOME_SKIPPED, reason);
}

bool allProbed() {
    for (const FleetPrinter& printer : fleet) {
        if (printer.stage < FLEET_STAGE_PROBED) {
            return false;
        }
    }
    return true;
}

// --canary K, by default one printer when more than a handful are to be upgraded; -1 while the
// probes that decide it are still to end.
int canariesWanted() {
    if (fleetOptions.canary != CLI_CANARY_AUTOMATIC) {
        return fleetOptions.canary;
    }
    if (probedToUpgrade > FLEET_HANDFUL) {
        return 1;
    }
    return allProbed() ? 0 : -1;
}

// The canaries are the first printers of the inventory that are to be upgraded: each is known
// once every printer before it has been probed.
void chooseCanaries() {
    int wanted = canariesWanted();
    if (wanted < 0 || canariesChosen) {
        return;
    }
    while (canariesMarked < wanted && canaryCursor < fleet.size() &&
           fleet[canaryCursor].stage >= FLEET_STAGE_PROBED) {
        FleetPrinter& printer = fleet[canaryCursor++];
        if (printer.outcome == FLEET_OUTCOME_OPEN) {
            printer.canary = true;
            ++canariesMarked;
        }
    }
    canariesChosen = canariesMarked == wanted || canaryCursor == fleet.size();
}

// The canaries that did not end verified, named; empty when all did.
std::string unverifiedCanaries() {
    std::string names;
    for (const FleetPrinter& printer : fleet) {
        if (printer.canary && !fleetVerified(printer)) {
            names += (names.empty() ? "" : ", ") + printerName(printer);
        }
    }
    return names;
}

// The canaries go first and alone; the others only once every canary is verified, and no
// upgrade starts once --max-failures upgrades failed.
FleetPrinter* nextUpgrade() {
    if (!upgradesConfirmed || !belowFailureLimit()) {
        return nullptr;
    }
    chooseCanaries();
    bool othersMayStart = canariesChosen && unverifiedCanaries().empty();
    for (FleetPrinter& printer : fleet) {
        if (printer.stage == FLEET_STAGE_PROBED && printer.outcome == FLEET_OUTCOME_OPEN &&
            (printer.canary || othersMayStart)) {
            return &printer;
        }
    }
    return nullptr;
}

// The next child run to start: the probes in inventory order, then the upgrades as their
// probes allow, so that under --yes a printer's upgrade follows its own probe and need not wait
// for the others'.
bool nextChild(FleetPrinter** printer, const ChildPass** pass) {
    for (FleetPrinter& waiting : fleet) {
        if (waiting.stage == FLEET_STAGE_WAITING) {
            *printer = &waiting;
            *pass = &PROBE_PASS;
            return true;
        }
    }
    *printer = nextUpgrade();
    *pass = &UPGRADE_PASS;
    return *printer != nullptr;
}

// Runs the children that nextChild gives, at most --jobs at once, until none runs and none may
// start: an interrupt starts no other, and the printers left wait on.
void runChildren() {
    std::vector<RunningChild> running;
    FleetPrinter* printer = nullptr;
    const ChildPass* pass = nullptr;
    while (true) {
        while (!stopRequested.load() && running.size() < static_cast<size_t>(fleetOptions.jobs) &&
               nextChild(&printer, &pass)) {
            RunningChild child;
            if (startChild(printer, *pass, &child)) {
                running.push_back(child);
            }
        }
        if (running.empty()) {
            return;
        }
        interruptWhereDue(&running);
        for (size_t index = running.size(); index-- > 0;) {
            if (childFinished(&running[index])) {
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
            }
        }
        chooseCanaries();
        showFleet();
        sleepMilliseconds(POLL_MILLISECONDS);
    }
}

// After the upgrades: the printers a canary or the failure limit kept from theirs are not
// started, with the reason. Those an interrupt kept are left to the caller.
void closeStoppedUpgrades() {
    if (stopRequested.load()) {
        return;
    }
    std::string unverified = unverifiedCanaries();
    if (!unverified.empty()) {
        closeOpenPrinters(FLEET_OUTCOME_NOT_STARTED,
                          "the canary " + unverified + " was not verified (--canary)");
        return;
    }
    if (!belowFailureLimit()) {
        closeOpenPrinters(FLEET_OUTCOME_NOT_STARTED,
                          "upgrades failed: " + std::to_string(upgradesFailed) +
                              ", the limit of --max-failures " +
                              std::to_string(fleetOptions.maxFailures));
    }
}

// The summary, each failure's reason, or the JSON object. Returns the exit code.
// A dry run's plan ends it with 0, whatever the plan holds.
int endFleet(bool stopped, bool plan = false) {
    showFleet();
    int exitCode = plan ? CLI_EXIT_DONE : fleetExitCode(fleet, stopped);
    if (fleetOptions.json) {
        printJsonDocument(fleetReportJson(fleet, exitCode, plan)
                              .dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
        return exitCode;
    }
    if (plan && !liveTableOutput()) {
        for (const std::string& row : fleetTable(fleet)) {
            printUserLine(row);
        }
    }
    printUserLine("");
    if (stopRequested.load()) {
        printUserLine("Interrupted: the images being written were finished; no other printer "
                      "was started.");
    }
    if (plan) {
        printUserLine("Dry run: the plan above; no printer was asked more than its device id "
                      "and status.");
    }
    printUserLine(fleetSummaryLine(fleet));
    for (const FleetPrinter& printer : fleet) {
        if (!printer.reason.empty()) {
            printUserLine(printerName(printer) + "  " + fleetResultText(printer));
        }
    }
    return exitCode;
}

// An interrupt stops the run where it stands: while the question waits it ends the run at
// once, nothing having been sent; otherwise the loops see it.
void onFleetInterrupt(ConsoleInterrupt) {
    if (questionOpen.load()) {
        skipOpenPrinters(INTERRUPTED_BEFORE_START);
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

// The plan without --yes, shown and confirmed once: asked on a terminal, else refused.
bool planConfirmed() {
    int count = countOpen();
    if (count == 0) {
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
    // On a terminal the live table above is the plan.
    std::string plan = "\n";
    for (const std::string& row :
         liveTableOutput() ? std::vector<std::string>{} : fleetTable(fleet)) {
        plan += row + "\n";
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

// The inventory's host names, resolved before anything is sent to any printer.
bool resolveHost(const std::string& host, std::string* address, std::string* why) {
    uint8_t octets[4];
    PlatformError error;
    if (!networkService->resolveIpv4(host.c_str(), octets, &error)) {
        *why = error.kind == PLATFORM_ERROR_NOT_FOUND ? "no IPv4 address is known for it"
                                                      : describedError(error);
        return false;
    }
    char dotted[16];
    snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
    *address = dotted;
    return true;
}

// The inventory into the fleet, or a usage error naming the file and every bad line. Only a
// regular file of at most INVENTORY_SIZE_LIMIT bytes is read: /dev/zero would fill the memory,
// and a FIFO keep the run waiting for a writer.
bool loadInventory(const std::string& path) {
    std::vector<char> text(INVENTORY_SIZE_LIMIT);
    uint32_t length = 0;
    PlatformError failure;
    if (!userFileService->readWhole(path.c_str(), text.data(), INVENTORY_SIZE_LIMIT, &length,
                                    &failure)) {
        std::string cause = failure.kind == PLATFORM_ERROR_TOO_LARGE && failure.number == 0
                                ? "larger than " + std::to_string(INVENTORY_SIZE_LIMIT) + " bytes"
                                : describedFileError(failure);
        printUsageError(path + ": cannot read the inventory: " + cause,
                        usageErrorJson(fleetOptions));
        return false;
    }
    std::vector<InventoryPrinter> printers;
    std::vector<std::string> errors;
    // Without the socket library a name does not resolve, and says so on its line.
    bool started = networkService->startup(nullptr);
    bool parsed = parseInventory(std::string(text.data(), length), resolveHost, &printers, &errors);
    if (started) {
        networkService->cleanup();
    }
    if (!parsed) {
        std::string lines =
            errors.size() == 1 ? errors[0] : std::to_string(errors.size()) + " bad lines";
        for (size_t index = 0; errors.size() > 1 && index < errors.size(); ++index) {
            lines += "\n  " + errors[index];
        }
        printUsageError(path + ": " + lines, usageErrorJson(fleetOptions));
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
    upgradesFailed = 0;
    // With --yes there is no plan to wait for: each printer's upgrade may follow its probe.
    upgradesConfirmed = options.yes && !options.dryRun;
    canaryCursor = 0;
    canariesMarked = 0;
    canariesChosen = false;
    probedToUpgrade = 0;
    setupConsoleOutput(options.json);
    if (!loadInventory(options.inventory)) {
        return CLI_EXIT_USAGE;
    }
    PlatformError error;
    if (!consoleService->watchInterrupts(onFleetInterrupt, &error)) {
        fprintf(stderr, "ticketflash: cannot watch for interrupts: %s\n",
                describedError(error).c_str());
    }
    runChildren();
    // Under --yes the upgrades ran beside the probes; otherwise the plan comes first.
    if (!upgradesConfirmed) {
        if (stopRequested.load()) {
            skipOpenPrinters(INTERRUPTED_BEFORE_START);
            return endFleet(true);
        }
        chooseCanaries();
        showFleet();
        if (options.dryRun) {
            return endFleet(false, true);
        }
        if (!planConfirmed()) {
            return endFleet(true);
        }
        upgradesConfirmed = true;
        runChildren();
    }
    closeStoppedUpgrades();
    bool stopped = stopRequested.load();
    skipOpenPrinters(INTERRUPTED_BEFORE_START);
    return endFleet(stopped);
}
