#pragma once

// Keeping the spooler off the printer's ports while the program runs.
//
// The first local probe takes the list of installed printers from the spooler, keeps it until
// exit, and moves every printer whose port is not "FILE:" to "FILE:"; the exit puts each moved
// printer back with every setting it had at that first probe. Failures of single printers are
// shown in message boxes and otherwise passed over. Runs on the user-interface thread (and on
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

// Record i of a list.
PrinterPortEntry* printerRecord(uint8_t* list, uint32_t index);

// Moves the installed printers to "FILE:" unless that was done already. False when the list
// could not be taken (the next probe tries again).
bool SetPortsToFile();

// Takes the spooler's list into both lists. True with an empty list when no printer is
// installed; false when the lists could not be had (nothing is left allocated).
bool EnumeratePrinters();

// Gives every moved printer its original settings back and drops the lists.
void RestorePortsToOriginal();

// Sets one printer to the settings of a record, after pointing its port at "FILE:" when asked.
void SetPortToFile(PrinterPortEntry* record, bool moveToFile);
