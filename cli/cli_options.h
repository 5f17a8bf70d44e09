#pragma once

// The command line of ticketflash: one subcommand that mirrors a command of the update dialog,
// and the global switches.

#include <string>

enum CliCommand {
    CLI_COMMAND_PROBE,         // "Refresh data": the local probe
    CLI_COMMAND_FIND,          // "Find Ethernet Printer"
    CLI_COMMAND_VERSIONS,      // "Display Versions"
    CLI_COMMAND_STATUS,        // "STATUS"
    CLI_COMMAND_UPGRADE,       // a probe by the chosen route, then the upgrade button
    CLI_COMMAND_RESTORE_PORTS, // the start's recovery of an interrupted run's printer ports alone
    CLI_COMMAND_FLEET, // every printer of an inventory over TCP, each by an upgrade run of its own
};

// How many printers a fleet run works on at once unless told.
constexpr int CLI_DEFAULT_JOBS = 16;

struct CliOptions {
    CliCommand command = CLI_COMMAND_PROBE;
    bool log = false;  // the diagnostic lines on standard error
    bool json = false; // one JSON object on standard output and nothing else
    bool yes = false;  // answers Yes to every question
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
};

// The exit codes of the tool.
constexpr int CLI_EXIT_DONE = 0;
constexpr int CLI_EXIT_FAILED = 1;
constexpr int CLI_EXIT_DECLINED = 2;
constexpr int CLI_EXIT_NO_PRINTER = 3;
constexpr int CLI_EXIT_USAGE = 64;
constexpr int CLI_EXIT_ANOTHER_INSTANCE = 75;
// Not an exit code: parsing went through and the run goes on.
constexpr int CLI_PARSED = -1;

// Reports a usage error as parsing does: "ticketflash: " and the error naming the argument on
// one line, then the usage line, on standard error.
void printUsageError(const std::string& error);

// Parses the command line into *options. Returns CLI_PARSED when the run goes on; otherwise the
// exit code, after printing the help or the version (0), or a one-line error naming the
// argument followed by the usage line on standard error (CLI_EXIT_USAGE).
int parseCliOptions(int argc, const char* const* argv, CliOptions* options);
