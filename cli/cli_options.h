#pragma once

// The command line of ticketflash: one subcommand that mirrors a command of the update dialog,
// and the global switches. What each subcommand takes and runs is in its row (subcommands.h).

#include <string>
#include <vector>

enum CliCommand {
    CLI_COMMAND_PROBE,         // "Refresh data": the local probe
    CLI_COMMAND_FIND,          // "Find Ethernet Printer"
    CLI_COMMAND_VERSIONS,      // "Display Versions"
    CLI_COMMAND_STATUS,        // "STATUS"
    CLI_COMMAND_UPGRADE,       // a probe by the chosen route, then the upgrade button
    CLI_COMMAND_RESTORE_PORTS, // the start's recovery of an interrupted run's printer ports alone
    CLI_COMMAND_FLEET, // every printer of an inventory over TCP, each by an upgrade run of its own
    CLI_COMMAND_HISTORY,  // the history of upgrades, of every printer or of one
    CLI_COMMAND_DISCOVER, // the printers at the addresses named over TCP, or attached here
    CLI_COMMAND_COUNT,
};

// How many printers a fleet run works on at once unless told.
constexpr int CLI_DEFAULT_JOBS = 16;
// A fleet's canary unless told: one printer is upgraded and verified before the others when more
// than a handful need an upgrade, so that a bad image stops at one printer.
constexpr int CLI_CANARY_AUTOMATIC = -1;
constexpr int FLEET_HANDFUL = 4;
// Once this many upgrades of a fleet run failed, no other starts.
constexpr int CLI_DEFAULT_MAX_FAILURES = 3;

// What discover does unless told: how many addresses it tries at once, how long it waits for
// each connection, and how many addresses one run may hold (a /20).
constexpr int CLI_DEFAULT_DISCOVER_JOBS = 64;
constexpr int CLI_DEFAULT_CONNECT_TIMEOUT_MS = 500;
constexpr int CLI_DEFAULT_MAX_ADDRESSES = 4096;

struct CliOptions {
    CliCommand command = CLI_COMMAND_PROBE;
    bool log = false;  // the diagnostic lines on standard error
    bool json = false; // one JSON object on standard output and nothing else
    // The run's record stream on standard output (cli/record_json.h), one JSON line a change, the
    // report last: what a fleet run reads from its children.
    bool jsonLines = false;
    bool yes = false; // answers Yes to every question
    // The printer's address over TCP, typed into the dialog's edits when given; otherwise the
    // edits keep their defaults. An upgrade goes over TCP when either is given.
    std::string ipAddress;
    std::string tcpPort;
    int variant = 0; // 1 or 2: the firmware combo box entry for a raster printer; 0 when not given
    std::string recordFile; // --record: every exchange with the printer goes to this file
    // The USB printer to use when several are attached (/dev/usb/lpN); empty when not given.
    std::string device;
    // upgrade --progress: with --json, the progress lines go to standard error as they come, for
    // the fleet run that follows its child runs.
    bool progress = false;
    // fleet: the inventory file, how many printers at once, and whether a printer that already
    // runs its image gets it again.
    std::string inventory;
    int jobs = CLI_DEFAULT_JOBS;
    bool reinstall = false;
    // discover: the address ranges as typed, or the attached printers (--local); how many
    // addresses at once, the connect time-out, the most addresses it looks at, and the inventory
    // it writes for fleet.
    std::vector<std::string> ranges;
    bool local = false;
    int discoverJobs = CLI_DEFAULT_DISCOVER_JOBS;
    int connectTimeoutMs = CLI_DEFAULT_CONNECT_TIMEOUT_MS;
    int maxAddresses = CLI_DEFAULT_MAX_ADDRESSES;
    std::string inventoryOut;
    // fleet: the plan alone; how many printers are upgraded and verified before the rest (0:
    // none); how many failed upgrades stop the run from starting others (0: no limit).
    bool dryRun = false;
    int canary = CLI_CANARY_AUTOMATIC;
    int maxFailures = CLI_DEFAULT_MAX_FAILURES;
};

// The exit codes of the tool.
constexpr int CLI_EXIT_DONE = 0;
constexpr int CLI_EXIT_FAILED = 1;
constexpr int CLI_EXIT_DECLINED = 2;
constexpr int CLI_EXIT_NO_PRINTER = 3;
constexpr int CLI_EXIT_USAGE = 64;
constexpr int CLI_EXIT_ANOTHER_INSTANCE = 75;
// A local run without the rights to change the spooler's printers (not elevated on Windows).
constexpr int CLI_EXIT_NOT_ELEVATED = 77;
// Not an exit code: parsing went through and the run goes on.
constexpr int CLI_PARSED = -1;

// Where a usage error goes besides standard error. With --json, one JSON object on standard
// output: {"command": the subcommand's name, null when none was recognised, "error": the error,
// "exitCode": 64}; with --json-lines, that object as the record stream's "report" line.
struct UsageErrorJson {
    const char* command = nullptr;
    bool json = false;
    bool jsonLines = false;
};

// The usage error's JSON of a parsed command line.
UsageErrorJson usageErrorJson(const CliOptions& options);

// Reports a usage error as parsing does: "ticketflash: " and the error naming the argument on
// one line, then the usage line, on standard error; and its JSON object when asked for. A run
// that prints a report of its own passes no JSON.
void printUsageError(const std::string& error, const UsageErrorJson& json = {});

// Parses the command line into *options. Returns CLI_PARSED when the run goes on; otherwise the
// exit code, after printing the help or the version (CLI_EXIT_DONE), or a usage error
// (CLI_EXIT_USAGE). The error names the argument; a mistyped subcommand or option gets the
// nearest one suggested ("upgarde: not a subcommand; did you mean upgrade?"), an address with a
// port in --ip the option for the port.
int parseCliOptions(int argc, const char* const* argv, CliOptions* options);
