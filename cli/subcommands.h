#pragma once

// The subcommands of the command line as one table, as the update dialog has one table of its
// commands: one row a subcommand, with its name, the options it takes, its help line, what it
// runs, whether it talks to printers over TCP alone, and what the end of its run shows. The
// parser, the usage line, --help, the dispatch, the report's "command" and the interrupt's
// outcome all read these rows, and a test holds the manual's synopsis to them. Each option is
// described once, in a table of its own.

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "platform/designated_only.h"

#include <span>
#include <string>

// The options, each a bit of a subcommand's set; the usage line shows them in this order.
enum CliOption : unsigned {
    CLI_OPTION_IP = 1u << 0,
    CLI_OPTION_PORT = 1u << 1,
    CLI_OPTION_DEVICE = 1u << 2,
    CLI_OPTION_VARIANT = 1u << 3,
    CLI_OPTION_JOBS = 1u << 4,
    CLI_OPTION_YES = 1u << 5,
    CLI_OPTION_REINSTALL = 1u << 6,
    CLI_OPTION_PROGRESS = 1u << 7,
    CLI_OPTION_INVENTORY = 1u << 8,
    CLI_OPTION_LOG = 1u << 9,
    CLI_OPTION_JSON = 1u << 10,
    CLI_OPTION_JSON_LINES = 1u << 11,
    CLI_OPTION_RECORD = 1u << 12,
    CLI_OPTION_DISCOVER_JOBS = 1u << 13,
    CLI_OPTION_CONNECT_TIMEOUT = 1u << 14,
    CLI_OPTION_MAX_ADDRESSES = 1u << 15,
    CLI_OPTION_INVENTORY_OUT = 1u << 16,
    CLI_OPTION_LOCAL = 1u << 17,
    CLI_OPTION_RANGES = 1u << 18,
    CLI_OPTION_DRY_RUN = 1u << 19,
    CLI_OPTION_CANARY = 1u << 20,
    CLI_OPTION_MAX_FAILURES = 1u << 21,
};
using CliOptionSet = unsigned;

// The switches that go before or after any subcommand, and stand once in the usage line.
constexpr CliOptionSet CLI_GLOBAL_OPTIONS =
    CLI_OPTION_LOG | CLI_OPTION_JSON | CLI_OPTION_JSON_LINES | CLI_OPTION_RECORD;

// One option: how it is written, what it means, and the one field of CliOptions it fills (a
// switch, a text kept as typed, a list of texts, or a number).
struct CliOptionRow {
    DesignatedOnly designatedOnly{};
    CliOption option;
    // "--ip"; a name in capitals for an argument without a flag, which is then required unless
    // it takes a list ("RANGE...").
    const char* flag;
    const char* valueName = nullptr; // what follows the flag ("A.B.C.D"); null for a switch
    const char* help;
    bool CliOptions::*onOff = nullptr;
    std::string CliOptions::*text = nullptr;
    std::vector<std::string> CliOptions::*texts = nullptr;
    int CliOptions::*number = nullptr;
    // The values taken: an IPv4 address, or a number (or a text that is one) from least to most
    // when most is not 0.
    bool ipv4 = false;
    int least = 0;
    int most = 0;
};

// One subcommand.
struct Subcommand {
    DesignatedOnly designatedOnly{};
    CliCommand command;
    const char* name;
    CliOptionSet options; // besides the global ones
    const char* help;
    // The whole run of the process: one run through the dialog (runTicketflash, run.h), or the
    // child runs of a fleet (runFleet, fleet.h).
    int (*runProcess)(const CliOptions& options);
    // The dialog's commands the subcommand sends on the started front end (commands.h). Null
    // where there are none: restore-ports, whose whole command is the start's recovery
    // (run.cpp), and fleet, which starts no dialog.
    RunOutcome (*runCommands)(const CliOptions& options);
    // Whether the run talks to printers over TCP alone: such a run holds its printer's marker
    // rather than the machine's, and never touches the spooler.
    bool (*overTcpOnly)(const CliOptions& options);
    // Whether the run takes a lock (the machine's or its printer's): not for a subcommand that
    // touches no printer and no spooler, which any number of runs may do beside any other.
    bool takesLock;
    bool showsFields;    // the dialog's fields close its plain output
    bool reportsUpgrade; // its JSON report carries the upgrade's keys
};

// Every subcommand, in the order of CliCommand, and every option, in the order of CliOption.
std::span<const Subcommand> subcommands();
std::span<const CliOptionRow> cliOptionRows();

const Subcommand& subcommandFor(CliCommand command);
const CliOptionRow& cliOptionRow(CliOption option);

// The subcommand of that name; null when there is none.
const Subcommand* subcommandNamed(const std::string& name);

// What the subcommand's row says the end of its run shows, set into *outcome.
void showAsItsRowSays(CliCommand command, RunOutcome* outcome);

// Whether the run works on printers over TCP alone: "find", an upgrade given an address or a
// port, and a fleet (through its children).
bool runsOverTcp(const CliOptions& options);

// A subcommand with its options as the usage line writes it, "find [--ip A.B.C.D] [--port N]";
// the global switches alone, "[--log] [--json] ..."; and the whole usage line, "Usage:
// ticketflash [--log] ... {probe [--device PATH] | ...}".
std::string subcommandUsage(const Subcommand& subcommand);
std::string globalOptionsUsage();
std::string usageLine();
