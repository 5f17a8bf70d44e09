#pragma once

// The end of the run. Two roads lead there: the dialog's exit sequence, and a probe that gives
// up (the spooler's printers cannot be listed, or a local printer's device id cannot be read)
// and asks the user-interface loop to end, on whichever thread it runs. The spooler's printers
// must be put back exactly once whichever road is taken, so both roads and every front end
// (the Windows start-up once its dialog call has returned, the command-line tool at its end)
// put them back through restorePortsOnce.

#include <atomic>

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
