#pragma once

// The start and the end of a run, the same for every front end (the Windows program and the
// command line on both systems).
//
// The start takes the run's marker and, for a run that may touch the spooler, puts right what a
// run that did not end left behind, before anything else touches it. A refusal (another tool of
// the family runs, another run works on the printer) is shown as the dialog shows it, a message
// box, before the start returns.
//
// Two roads lead to the end: the dialog's exit sequence, and a probe that gives up (the
// spooler's printers cannot be listed, or a local printer's device id cannot be read) and asks
// the user-interface loop to end, on whichever thread it runs. The spooler's printers must be
// put back exactly once whichever road is taken, so both roads and every front end end with
// finishRun, which puts back what is left and lets go of the markers.

#include "connection/port_recovery.h"
#include "platform/platform_error.h"

#include <atomic>
#include <cstdint>

enum RunScope {
    // The Windows dialog: the family's marker; a marker that cannot be made is not reported,
    // and the tool runs as if it were the only one.
    RUN_SCOPE_DIALOG,
    // A command-line run that may touch the spooler: the same marker, but one that cannot be
    // made refuses the run, since nothing else would keep a second run off the spooler.
    RUN_SCOPE_MACHINE,
    // A command-line run over TCP: the marker of its printer alone, never the machine's, since it
    // never touches the spooler; no two runs work on one printer at once.
    RUN_SCOPE_PRINTER,
};

enum RunRefusal {
    RUN_NOT_REFUSED,
    RUN_REFUSED_ANOTHER_TOOL,    // "Another KQ tool is currently running" was shown
    RUN_REFUSED_PRINTER_BUSY,    // "Another run is working on the printer at A:P" was shown
    RUN_REFUSED_NO_MACHINE_LOCK, // the machine's marker could not be made (nothing shown)
    RUN_REFUSED_NO_PRINTER_LOCK, // the printer's marker could not be made (shown)
};

constexpr int RUN_RECOVERY_TEXT_SIZE = 1024;

struct RunStart {
    RunRefusal refusal;
    PlatformError error;   // the marker's creation error behind a refusal
    PortRecovery recovery; // what the start put right (machine and dialog scopes)
    char recoveryText[RUN_RECOVERY_TEXT_SIZE]; // what the user is told of it; empty for nothing
    // Behind a refusal: the lock that refused it and its holder where known, "the lock
    // /run/lock/KQ_TOOLS.lock, held by process 4711 (user root)"; empty otherwise.
    char holderText[512];
};

// The run's start for its scope. printer names the printer of RUN_SCOPE_PRINTER ("A.B.C.D:P"),
// null otherwise. False when the run is refused: it must end at once, having changed nothing.
bool beginRun(RunScope scope, const char* printer, RunStart* start);

// Set by requestRunEnd: the run must end. Front ends that drive probes themselves stop at it.
extern std::atomic<bool> runEndRequested;

// Set by the first restorePortsOnce: the printers are back on their own ports for good, and no
// later probe moves them again.
extern std::atomic<bool> portsRestored;

// A probe's quit path: ends the use of the socket library, asks the user-interface loop to end
// with exit code 0 and records runEndRequested. Returns at once; the caller goes on.
void requestRunEnd();

// Puts the spooler's printers back on their ports (RestorePortsToOriginal) unless that was done
// already in this run. Safe to call from the exit sequence and again from a front end's end.
void restorePortsOnce();

// The end of every run, whichever road led there: the printers back on their ports (once), the
// markers the start took let go. Safe after the dialog's exit sequence has done part of it.
void finishRun();
