#pragma once

// The plain sentences that close a run of the command line, made from the core's records: what
// became of the upgrade, and why.

#include "outcome/outcomes.h"

#include <string>

// The sentence that closes an upgrade command, whatever its verdict: done, not started (and
// why), or failed after the writer ran (a write error, the version not read, another version).
std::string upgradeClosingLine(const UpgradeVerdict& verdict);

// What a probe's record adds for the user, or an empty text: that the last upgrade of this
// printer did not finish and the upgrade rewrites its image; or, for a printer whose firmware
// is not recognised and which no upgrade here left half-written, what to do.
std::string probeClosingLine(const ProbeOutcome& probe);

// What to do about a printer whose firmware is not recognised.
constexpr const char UNRECOGNISED_FIRMWARE_ADVICE[] =
    "Power-cycle the printer and probe it again; a printer whose upgrade was interrupted on "
    "another machine is repaired from that machine, whose history knows it.";
