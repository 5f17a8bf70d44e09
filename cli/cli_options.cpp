#include "cli/cli_options.h"

#include "identity/firmware_catalogue.h"

#include <CLI/CLI.hpp>
#include <cstdio>

namespace {

const char TOOL_DESCRIPTION[] =
    "ticketflash: upgrades the firmware of a thermal ticket printer on USB, a parallel port or "
    "TCP.\nEach subcommand does what the same command of the Windows tool's dialog does.";

const char USAGE[] = "Usage: ticketflash [--log] [--json] [--record FILE] "
                     "{probe [--device PATH] | find [--ip A.B.C.D] [--port N] | versions | "
                     "status [--device PATH] | "
                     "upgrade [--ip A.B.C.D] [--port N] [--device PATH] [--variant 1|2] [--yes] | "
                     "restore-ports | fleet [--jobs N] [--yes] [--reinstall] INVENTORY}";

void addAddressOptions(CLI::App* command, CliOptions* options) {
    command
        ->add_option("--ip", options->ipAddress,
                     "the printer's IPv4 address (default as the dialog: 192.168.0.1)")
        ->check(CLI::ValidIPV4);
    command->add_option("--port", options->tcpPort, "the printer's TCP port (default 10001)")
        ->check(CLI::Range(1, 65535));
}

// The subcommands that look for a local printer.
void addDeviceOption(CLI::App* command, CliOptions* options) {
    command->add_option("--device", options->device,
                        "the USB printer to use when several are attached, e.g. /dev/usb/lp1");
}

// Each subcommand records itself as the command when it is the one given.
CLI::App* addCommand(CLI::App& app, const char* name, const char* description, CliCommand command,
                     CliOptions* options) {
    CLI::App* subcommand = app.add_subcommand(name, description);
    subcommand->callback([options, command] { options->command = command; });
    return subcommand;
}

void addFleetCommand(CLI::App& app, CliOptions* options) {
    CLI::App* fleet = addCommand(
        app, "fleet",
        "upgrade every printer of an inventory over TCP, several at once: one line per printer, "
        "ADDRESS[:PORT] [variant=1|2], # starts a comment",
        CLI_COMMAND_FLEET, options);
    fleet->add_option("INVENTORY", options->inventory, "the inventory file")->required();
    fleet->add_option("--jobs", options->jobs, "how many printers at once (default 16)")
        ->check(CLI::Range(1, 256));
    fleet->add_flag("--yes", options->yes,
                    "upgrade without asking; without a terminal the run needs it");
    fleet->add_flag("--reinstall", options->reinstall,
                    "write the image also to a printer that already runs its version");
}

void buildParser(CLI::App& app, CliOptions* options) {
    app.set_version_flag("--version", [] {
        return firmwareCatalogueHoldsPlaceholders()
                   ? std::string(TICKETFLASH_VERSION) + "\n" + PLACEHOLDER_FIRMWARE_NOTICE
                   : std::string(TICKETFLASH_VERSION);
    });
    app.add_flag("--log", options->log, "write the diagnostic lines on standard error");
    app.add_flag("--json", options->json,
                 "print one JSON object with the outcome on standard output, and nothing else");
    app.add_option("--record", options->recordFile,
                   "write every exchange with the printer to FILE (JSON lines), to send in "
                   "or to replay with printer-sim --replay")
        ->type_name("FILE");
    app.require_subcommand(1);
    // The global switches may also follow the subcommand.
    app.fallthrough();
    CLI::App* probe = addCommand(
        app, "probe", "look for a local printer (USB, then LPT1 to LPT3) as \"Refresh data\" does",
        CLI_COMMAND_PROBE, options);
    addDeviceOption(probe, options);
    CLI::App* find =
        addCommand(app, "find", "look for the printer over TCP", CLI_COMMAND_FIND, options);
    addAddressOptions(find, options);
    addCommand(app, "versions", "list the firmware versions built into the tool",
               CLI_COMMAND_VERSIONS, options);
    CLI::App* status = addCommand(app, "status", "ask the local printer whether it is ready",
                                  CLI_COMMAND_STATUS, options);
    addDeviceOption(status, options);
    CLI::App* upgrade =
        addCommand(app, "upgrade",
                   "probe the printer (over TCP when --ip or --port is given, else locally), "
                   "write its firmware image and show the version it comes back with",
                   CLI_COMMAND_UPGRADE, options);
    addAddressOptions(upgrade, options);
    addDeviceOption(upgrade, options);
    upgrade
        ->add_option("--variant", options->variant,
                     "the firmware variant of a raster printer: the combo box's entry 1 or 2")
        ->check(CLI::Range(1, 2));
    upgrade->add_flag("--yes", options->yes,
                      "answer Yes to the question before rewriting the version the printer has");
    addCommand(app, "restore-ports",
               "put back the printer ports that an interrupted run left moved, as every start "
               "does first (exit 0 when nothing is left to put back)",
               CLI_COMMAND_RESTORE_PORTS, options);
    upgrade->add_flag("--progress", options->progress,
                      "with --json: write the progress lines on standard error as they come");
    addFleetCommand(app, options);
}

// The first argument that is not an option, or null: a subcommand when the parser knew it.
const char* firstWord(int argc, const char* const* argv) {
    for (int index = 1; index < argc; ++index) {
        if (argv[index][0] != '-') {
            return argv[index];
        }
    }
    return nullptr;
}

} // namespace

void printUsageError(const std::string& error) {
    fprintf(stderr, "ticketflash: %s\n%s\n", error.c_str(), USAGE);
}

int parseCliOptions(int argc, const char* const* argv, CliOptions* options) {
    CLI::App app{TOOL_DESCRIPTION, "ticketflash"};
    buildParser(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& failure) {
        std::string what = failure.what();
        const char* stray = firstWord(argc, argv);
        if (stray != nullptr && app.get_subcommands().empty()) {
            what = std::string(stray) + ": not a subcommand";
        }
        printUsageError(what);
        return CLI_EXIT_USAGE;
    }
    return CLI_PARSED;
}
