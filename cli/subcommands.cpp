#include "cli/subcommands.h"

#include "cli/discover.h"
#include "cli/fleet.h"
#include "cli/history_command.h"
#include "cli/run.h"

#include <bit>
#include <iterator>

namespace {

constexpr CliOptionRow OPTION_ROWS[] = {
    {.option = CLI_OPTION_IP,
     .flag = "--ip",
     .valueName = "A.B.C.D",
     .help = "the printer's IPv4 address (default as the dialog: 192.168.0.1)",
     .text = &CliOptions::ipAddress,
     .ipv4 = true},
    {.option = CLI_OPTION_PORT,
     .flag = "--port",
     .valueName = "N",
     .help = "the printer's TCP port (default 10001)",
     .text = &CliOptions::tcpPort,
     .least = 1,
     .most = 65535},
    {.option = CLI_OPTION_DEVICE,
     .flag = "--device",
     .valueName = "PATH",
     .help = "the USB printer to use when several are attached, e.g. /dev/usb/lp1",
     .text = &CliOptions::device},
    {.option = CLI_OPTION_VARIANT,
     .flag = "--variant",
     .valueName = "1|2",
     .help = "the firmware variant of a raster printer: the combo box's entry 1 or 2",
     .number = &CliOptions::variant,
     .least = 1,
     .most = 2},
    {.option = CLI_OPTION_JOBS,
     .flag = "--jobs",
     .valueName = "N",
     .help = "how many printers at once (default 16)",
     .number = &CliOptions::jobs,
     .least = 1,
     .most = 256},
    {.option = CLI_OPTION_YES,
     .flag = "--yes",
     .help = "answer Yes to every question: rewriting the version a printer already runs, and "
             "a fleet's plan, which needs it without a terminal",
     .onOff = &CliOptions::yes},
    {.option = CLI_OPTION_REINSTALL,
     .flag = "--reinstall",
     .help = "write the image also to a printer that already runs its version",
     .onOff = &CliOptions::reinstall},
    {.option = CLI_OPTION_PROGRESS,
     .flag = "--progress",
     .help = "with --json: write the progress lines on standard error as they come",
     .onOff = &CliOptions::progress},
    {.option = CLI_OPTION_INVENTORY,
     .flag = "INVENTORY",
     .help = "the inventory file",
     .text = &CliOptions::inventory},
    {.option = CLI_OPTION_LOG,
     .flag = "--log",
     .help = "write the diagnostic lines on standard error",
     .onOff = &CliOptions::log},
    {.option = CLI_OPTION_JSON,
     .flag = "--json",
     .help = "print one JSON object with the outcome on standard output, and nothing else",
     .onOff = &CliOptions::json},
    {.option = CLI_OPTION_JSON_LINES,
     .flag = "--json-lines",
     .help = "write the run's records on standard output as they change, one JSON object a "
             "line, the --json report last (the stream a fleet run reads from its children)",
     .onOff = &CliOptions::jsonLines},
    {.option = CLI_OPTION_RECORD,
     .flag = "--record",
     .valueName = "FILE",
     .help = "write every exchange with the printer to FILE (JSON lines), to send in or to "
             "replay with printer-sim --replay",
     .text = &CliOptions::recordFile},
    {.option = CLI_OPTION_DISCOVER_JOBS,
     .flag = "--jobs",
     .valueName = "J",
     .help = "how many addresses to try at once (default 64)",
     .number = &CliOptions::discoverJobs,
     .least = 1,
     .most = 256},
    {.option = CLI_OPTION_CONNECT_TIMEOUT,
     .flag = "--timeout-ms",
     .valueName = "T",
     .help = "how long to wait for each address to accept a connection, in milliseconds, with "
             "no retry (default 500)",
     .number = &CliOptions::connectTimeoutMs,
     .least = 1,
     .most = 60000},
    {.option = CLI_OPTION_MAX_ADDRESSES,
     .flag = "--max-addresses",
     .valueName = "N",
     .help = "the most addresses the ranges may hold together (default 4096, a /20)",
     .number = &CliOptions::maxAddresses,
     .least = 1,
     .most = 1 << 24},
    {.option = CLI_OPTION_INVENTORY_OUT,
     .flag = "--inventory-out",
     .valueName = "FILE",
     .help = "write the printers found to FILE as an inventory that fleet reads as it is",
     .text = &CliOptions::inventoryOut},
    {.option = CLI_OPTION_LOCAL,
     .flag = "--local",
     .help = "list the printers attached to this machine (USB) instead of looking on the network",
     .onOff = &CliOptions::local},
    {.option = CLI_OPTION_RANGES,
     .flag = "RANGE",
     .help = "the addresses to look at: A.B.C.D/N, A.B.C.D-A.B.C.D (or -D), or A.B.C.D; several "
             "may be given, and there is no default",
     .texts = &CliOptions::ranges},
    {.option = CLI_OPTION_DRY_RUN,
     .flag = "--dry-run",
     .help = "probe every printer and show the plan with its reasons; upgrade none",
     .onOff = &CliOptions::dryRun},
    {.option = CLI_OPTION_CANARY,
     .flag = "--canary",
     .valueName = "K",
     .help = "upgrade K printers first and the rest only once all K are verified (default 1 "
             "when more than 4 need an upgrade, else 0; 0 for none)",
     .number = &CliOptions::canary,
     .least = 0,
     .most = 256},
    {.option = CLI_OPTION_MAX_FAILURES,
     .flag = "--max-failures",
     .valueName = "N",
     .help = "start no upgrade once N have failed (default 3; 0 for no limit)",
     .number = &CliOptions::maxFailures,
     .least = 0,
     .most = 65535},
};

bool neverOverTcp(const CliOptions&) {
    return false;
}

bool alwaysOverTcp(const CliOptions&) {
    return true;
}

// discover looks over TCP unless it lists the attached printers.
bool overTcpUnlessLocal(const CliOptions& options) {
    return !options.local;
}

// An upgrade goes over TCP when it is told where the printer listens.
bool overTcpWhenAddressGiven(const CliOptions& options) {
    return !options.ipAddress.empty() || !options.tcpPort.empty();
}

constexpr Subcommand SUBCOMMAND_ROWS[] = {
    {.command = CLI_COMMAND_PROBE,
     .name = "probe",
     .options = CLI_OPTION_DEVICE,
     .help = "look for a local printer (USB, then LPT1 to LPT3) as \"Refresh data\" does",
     .runProcess = runTicketflash,
     .runCommands = probeByRoute,
     .overTcpOnly = neverOverTcp,
     .takesLock = true,
     .showsFields = true,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_FIND,
     .name = "find",
     .options = CLI_OPTION_IP | CLI_OPTION_PORT,
     .help = "look for the printer over TCP",
     .runProcess = runTicketflash,
     .runCommands = probeByRoute,
     .overTcpOnly = alwaysOverTcp,
     .takesLock = true,
     .showsFields = true,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_VERSIONS,
     .name = "versions",
     .options = 0,
     .help = "list the firmware versions built into the tool",
     .runProcess = runTicketflash,
     .runCommands = showVersions,
     .overTcpOnly = neverOverTcp,
     .takesLock = false,
     .showsFields = false,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_STATUS,
     .name = "status",
     .options = CLI_OPTION_DEVICE,
     .help = "ask the local printer whether it is ready",
     .runProcess = runTicketflash,
     .runCommands = queryStatus,
     .overTcpOnly = neverOverTcp,
     .takesLock = true,
     .showsFields = false,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_UPGRADE,
     .name = "upgrade",
     .options = CLI_OPTION_IP | CLI_OPTION_PORT | CLI_OPTION_DEVICE | CLI_OPTION_VARIANT |
                CLI_OPTION_YES | CLI_OPTION_PROGRESS,
     .help = "probe the printer (over TCP when --ip or --port is given, else locally), write its "
             "firmware image and show the version it comes back with",
     .runProcess = runTicketflash,
     .runCommands = upgradeFirmware,
     .overTcpOnly = overTcpWhenAddressGiven,
     .takesLock = true,
     .showsFields = true,
     .reportsUpgrade = true},
    {.command = CLI_COMMAND_RESTORE_PORTS,
     .name = "restore-ports",
     .options = 0,
     .help = "put back the printer ports that an interrupted run left moved, as every start does "
             "first (exit 0 when nothing is left to put back)",
     .runProcess = runTicketflash,
     .runCommands = nullptr,
     .overTcpOnly = neverOverTcp,
     .takesLock = true,
     .showsFields = false,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_FLEET,
     .name = "fleet",
     .options = CLI_OPTION_JOBS | CLI_OPTION_YES | CLI_OPTION_REINSTALL | CLI_OPTION_INVENTORY |
                CLI_OPTION_DRY_RUN | CLI_OPTION_CANARY | CLI_OPTION_MAX_FAILURES,
     .help = "upgrade every printer of an inventory over TCP, several at once: one line per "
             "printer, ADDRESS[:PORT] [variant=1|2], # starts a comment",
     .runProcess = runFleet,
     .runCommands = nullptr,
     .overTcpOnly = alwaysOverTcp,
     .takesLock = true,
     .showsFields = false,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_HISTORY,
     .name = "history",
     .options = CLI_OPTION_IP | CLI_OPTION_PORT | CLI_OPTION_DEVICE,
     .help = "list the upgrades this machine made, of every printer or of the one named (--ip "
             "and --port, or --device); touches no printer",
     .runProcess = runHistory,
     .runCommands = nullptr,
     .overTcpOnly = neverOverTcp,
     .takesLock = false,
     .showsFields = false,
     .reportsUpgrade = false},
    {.command = CLI_COMMAND_DISCOVER,
     .name = "discover",
     .options = CLI_OPTION_PORT | CLI_OPTION_DISCOVER_JOBS | CLI_OPTION_CONNECT_TIMEOUT |
                CLI_OPTION_MAX_ADDRESSES | CLI_OPTION_INVENTORY_OUT | CLI_OPTION_LOCAL |
                CLI_OPTION_RANGES,
     .help = "look for printers of the family at the addresses named, asking each only for its "
             "device id (or, with --local, list the attached ones): model, board, version, the "
             "image it would get and what a fleet run would do",
     .runProcess = runDiscover,
     .runCommands = nullptr,
     .overTcpOnly = overTcpUnlessLocal,
     .takesLock = false,
     .showsFields = false,
     .reportsUpgrade = false},
};

constexpr bool rowsInCommandOrder() {
    for (size_t index = 0; index < std::size(SUBCOMMAND_ROWS); ++index) {
        if (SUBCOMMAND_ROWS[index].command != static_cast<CliCommand>(index)) {
            return false;
        }
    }
    return std::size(SUBCOMMAND_ROWS) == CLI_COMMAND_COUNT;
}
static_assert(rowsInCommandOrder(), "subcommandFor finds a row by its command's number");

constexpr bool optionRowsInBitOrder() {
    for (size_t index = 0; index < std::size(OPTION_ROWS); ++index) {
        if (OPTION_ROWS[index].option != 1u << index) {
            return false;
        }
    }
    return true;
}
static_assert(optionRowsInBitOrder(), "cliOptionRow finds a row by its option's bit");

// Adds the word to the list, after the separator unless the list is empty.
void appendTo(std::string* list, const char* separator, const std::string& word) {
    if (!list->empty()) {
        list->append(separator);
    }
    list->append(word);
}

// An option as the usage line writes it: "[--ip A.B.C.D]", "[--yes]", "INVENTORY", or
// "RANGE..." for a list.
std::string optionUsage(const CliOptionRow& row) {
    if (row.flag[0] != '-') {
        return std::string(row.flag) + (row.texts != nullptr ? "..." : "");
    }
    std::string text = "[";
    text.append(row.flag);
    if (row.valueName != nullptr) {
        appendTo(&text, " ", row.valueName);
    }
    return text + "]";
}

std::string optionsUsage(CliOptionSet options) {
    std::string text;
    for (const CliOptionRow& row : OPTION_ROWS) {
        if ((options & row.option) != 0) {
            appendTo(&text, " ", optionUsage(row));
        }
    }
    return text;
}

} // namespace

std::span<const Subcommand> subcommands() {
    return SUBCOMMAND_ROWS;
}

std::span<const CliOptionRow> cliOptionRows() {
    return OPTION_ROWS;
}

const CliOptionRow& cliOptionRow(CliOption option) {
    return OPTION_ROWS[std::countr_zero(static_cast<unsigned>(option))];
}

const Subcommand& subcommandFor(CliCommand command) {
    return SUBCOMMAND_ROWS[command];
}

const Subcommand* subcommandNamed(const std::string& name) {
    for (const Subcommand& subcommand : SUBCOMMAND_ROWS) {
        if (name == subcommand.name) {
            return &subcommand;
        }
    }
    return nullptr;
}

void showAsItsRowSays(CliCommand command, RunOutcome* outcome) {
    outcome->showFields = subcommandFor(command).showsFields;
    outcome->upgrade = subcommandFor(command).reportsUpgrade;
}

bool runsOverTcp(const CliOptions& options) {
    return subcommandFor(options.command).overTcpOnly(options);
}

std::string subcommandUsage(const Subcommand& subcommand) {
    std::string options = optionsUsage(subcommand.options);
    return options.empty() ? subcommand.name : std::string(subcommand.name) + " " + options;
}

std::string globalOptionsUsage() {
    return optionsUsage(CLI_GLOBAL_OPTIONS);
}

std::string usageLine() {
    std::string list;
    for (const Subcommand& subcommand : SUBCOMMAND_ROWS) {
        appendTo(&list, " | ", subcommandUsage(subcommand));
    }
    return std::string("Usage: ticketflash ").append(globalOptionsUsage()) + " {" + list + "}";
}
