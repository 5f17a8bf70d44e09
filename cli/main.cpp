// ticketflash: the command-line front end of the firmware upgrade tool.
#include "cli/cli_options.h"
#include "cli/subcommands.h"

int main(int argc, char** argv) {
    CliOptions options;
    int exitCode = parseCliOptions(argc, argv, &options);
    if (exitCode != CLI_PARSED) {
        return exitCode;
    }
    return subcommandFor(options.command).runProcess(options);
}
