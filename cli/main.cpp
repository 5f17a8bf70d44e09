// ticketflash: the command-line front end of the firmware upgrade tool.
#include "cli/cli_options.h"
#include "cli/fleet.h"
#include "cli/run.h"

int main(int argc, char** argv) {
    CliOptions options;
    int exitCode = parseCliOptions(argc, argv, &options);
    if (exitCode != CLI_PARSED) {
        return exitCode;
    }
    return options.command == CLI_COMMAND_FLEET ? runFleet(options) : runTicketflash(options);
}
