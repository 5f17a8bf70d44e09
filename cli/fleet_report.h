#pragma once

// What a fleet run shows: one line per printer (the live table on a terminal, a plain line per
// event otherwise), the summary line with each failure's reason at the end, and the one JSON
// object of --json.

#include "cli/fleet_printer.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The table's heading and a printer's row: address, model, version -> image, phase, KBytes,
// result.
std::string fleetTableHeading();
std::string fleetTableRow(const FleetPrinter& printer);

// The heading and every printer's row: the live table, and the plan once the probes ended.
std::vector<std::string> fleetTable(const std::vector<FleetPrinter>& printers);

// What became of the printer and why: "skipped: a raster printer: give it variant=1 or ...".
std::string fleetResultText(const FleetPrinter& printer);

// The plain line of the printer's latest event, without its name.
std::string fleetEventText(const FleetPrinter& printer);

// "12 upgraded, 3 current, 1 failed, 0 not found" (the repaired, skipped and not started ones
// when there are any; a plan's printers to upgrade first).
std::string fleetSummaryLine(const std::vector<FleetPrinter>& printers);

// Exit code of the run: 1 when a printer failed or was not started, or was not found while
// others were, 3 when none was found at all, 2 when the run was interrupted or the plan
// declined, else 0.
int fleetExitCode(const std::vector<FleetPrinter>& printers, bool stopped);

// dryRun: the report of a plan, whose printers to upgrade are "planned".
nlohmann::json fleetReportJson(const std::vector<FleetPrinter>& printers, int exitCode,
                               bool dryRun);
