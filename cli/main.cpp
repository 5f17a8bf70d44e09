// ticketflash: the command-line front end of the firmware upgrade tool.
#include "cli/cli_options.h"
#include "cli/run.h"

int main(int argc, char** argv) {
    CliOptions options;
    int exitCode = parseCliOptions(argc, argv, &options);
    return exitCode == CLI_PARSED ? runTicketflash(options) : exitCode;
}
