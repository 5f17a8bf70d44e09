#pragma once

// Keeping the spooler off the printer's ports while the program runs.
//
// The first local probe takes the list of installed printers from the spooler, keeps it until
// exit, and moves every printer whose port is not "FILE:" to "FILE:" (on Linux: holds every
// queue that is not stopped); the exit puts each moved printer back with every setting it had
// at that first probe. Failures of single printers are shown in message boxes and otherwise
// passed over. Before the first printer is moved, the printers about to be moved are written to
// the journal on disk (ports_journal.h); once the walk is over the journal lists the ones really
// moved, and it is removed when they are all back. Runs on the user-interface thread (and on
// the flash writer's closing probe, when the move is long done); no lock is taken.

#include "platform/spooler.h"

#include <cstdint>

// The spooler's list as it came at the first probe, never changed.
extern uint8_t* enumeratedPrinters;
// A byte-for-byte copy of it, whose moved records say "FILE:". Its records still refer to the
// texts of enumeratedPrinters.
extern uint8_t* workingPrinters;
// Records in each list.
extern uint32_t printerCount;
// Set once the whole list has been moved; cleared when it is put back.
extern bool portsMoved;
// One byte a record of the lists: set while the printer is off its port by this run's hand
// (and so in the journal).
extern uint8_t* movedPrinters;
// Set while a journal of an earlier run is still on disk (unreadable, or not all put back):
// no printer is moved then, since a new journal would take the old one's place.
extern bool portsJournalBlocked;

// Record i of a list.
PrinterPortEntry* printerRecord(uint8_t* list, uint32_t index);

// The spooler service's listing of the printers (block may be null when size is 0), logging a
// failure with its error number unless it only says how large the block must be.
bool listSpoolerPrinters(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count);

// Moves the installed printers to "FILE:" unless that was done already. False when the list
// could not be taken or the journal not written (nothing is moved then; the next probe tries
// again), and while portsJournalBlocked is set.
bool SetPortsToFile();

// Takes the spooler's list into both lists. True with an empty list when no printer is
// installed; false when the lists could not be had (nothing is left allocated).
bool EnumeratePrinters();

// Gives every moved printer its original settings back and drops the lists.
void RestorePortsToOriginal();

// Sets one printer to the settings of a record, after pointing its port at "FILE:" when asked.
// True when the spooler took the settings.
bool SetPortToFile(PrinterPortEntry* record, bool moveToFile);
