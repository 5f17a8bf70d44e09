#pragma once

// Putting right what a run that did not end left behind: the printers its journal lists that
// are still off their ports go back to their original settings. Runs at start, once the
// single-instance marker is held and before anything else touches the spooler, and on demand
// (`ticketflash restore-ports`). Blocks on the spooler.

#include <cstdint>

enum PortRecovery {
    PORT_RECOVERY_NOTHING_LEFT, // no journal: the last run ended properly
    PORT_RECOVERY_RESTORED,     // the journal's printers are back, the journal removed
    PORT_RECOVERY_UNREADABLE,   // the journal cannot be read or parsed: kept, nothing applied
    PORT_RECOVERY_INCOMPLETE,   // some printer could not be put back (or listed): journal kept
};

// Applies a journal left on disk. Every outcome but the first two sets portsJournalBlocked,
// so that no printer is moved in this run.
PortRecovery RestorePortsFromJournal();

// What the user is told of an outcome (a line of the command line, a message box of the
// dialog), into text (size bytes, cut); empty for PORT_RECOVERY_NOTHING_LEFT.
void describePortRecovery(PortRecovery outcome, char* text, uint32_t size);
