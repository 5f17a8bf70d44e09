#pragma once

// ticketflash discover: which addresses hold printers of the family, and what a fleet run would
// do with each. Over TCP it asks each address of the ranges given only for its device id
// (connection/network_discovery.h); with --local it lists the printers attached to this
// machine. The printers are shown as they are found on a terminal, in a table at the end, or as
// one JSON object; --inventory-out writes them as an inventory that fleet reads as it is.

#include "cli/cli_options.h"

// Returns the process exit code: done when a printer of the family was found, no printer when
// none was, usage for ranges that are missing or bad, failed when some addresses could not be
// tried or the inventory could not be written.
int runDiscover(const CliOptions& options);
