#pragma once

// ticketflash history: the upgrades this machine made, from the history of upgrades
// (history/upgrade_history.h), of every printer or of the one the options name. It reads the
// state folder alone: no printer is touched and no marker is taken, so it runs beside any
// other run.

#include "cli/cli_options.h"

// Returns the process exit code: 0, or 1 when the history could not be read.
int runHistory(const CliOptions& options);
