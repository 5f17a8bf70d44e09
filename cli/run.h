#pragma once

// One run of the tool, after its command line has been parsed: the dialog started, the
// subcommand's commands sent to it, the outcome shown, and the dialog's exit sequence, which
// puts the spooler's printers back. An interrupt ends the run through the same sequence,
// except while an image is being written, when the dialog refuses to exit.

#include "cli/cli_options.h"

// Returns the process exit code.
int runTicketflash(const CliOptions& options);
