#pragma once

// ticketflash fleet: every printer of an inventory over TCP, several at once. Each printer is
// worked on by child runs of the tool itself, so that one printer's fault, hang or crash stays
// in its own process: first "find" to learn its version and image, then, once the plan is
// confirmed, "upgrade --yes", with the safety rules and the per-printer lock of any single run.
// With --yes there is no plan to wait for: a printer's upgrade starts as soon as its own probe
// and the canaries allow, while the other printers are still being probed.
// An interrupt lets the printers whose upgrade runs finish and starts no other.

#include "cli/cli_options.h"

// Returns the process exit code.
int runFleet(const CliOptions& options);
