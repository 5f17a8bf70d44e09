#pragma once

// The journal of the printers this program has taken off their ports, kept on disk as the state
// file PORTS_JOURNAL_NAME (platform/state_files.h) so that a run that ends in any way (a crash,
// a kill, a power cut) can be put right by the next one.
//
// The text, version 1, in lines that each end with a line feed:
//   ticketflash spooler journal 1
//   printer NAME SETTING      one line a printer: its name and its original setting (the port,
//                             or on Linux the queue's state message), as spoolerService gives it
//   end COUNT                 the number of printer lines, in decimal
// Each field is its bytes with every byte outside '!' to '~', and '%', written as '%' and two
// upper-case hexadecimal digits; no other form is read. A name is never empty.

#include <cstdint>

// The journal's state file, and the largest journal that is read.
constexpr const char PORTS_JOURNAL_NAME[] = "spooler-ports.journal";
constexpr uint32_t PORTS_JOURNAL_MAX_BYTES = 1024 * 1024;

struct PortsJournalEntry {
    const char* printerName;
    const char* setting;
};

// Writes the journal's text for the entries into text (size bytes) and its length into
// *length. With text null only *length is worked out. False when it does not fit.
bool formatPortsJournal(const PortsJournalEntry* entries, uint32_t count, char* text, uint32_t size,
                        uint32_t* length);

// The most entries a text of this length can hold: its number of line feeds.
uint32_t portsJournalCapacity(const char* text, uint32_t length);

// Parses a whole journal strictly. The fields are decoded in place: text is changed, and the
// entries point into it. False, with nothing to be used, for anything but a whole journal of
// this version with at most capacity entries.
bool parsePortsJournal(char* text, uint32_t length, PortsJournalEntry* entries, uint32_t capacity,
                       uint32_t* count);

// Makes the journal on disk list exactly the printers of enumeratedPrinters whose byte in
// movedPrinters is set, each with its original setting; removes it when none is set. False,
// with a diagnostic line, when the journal could not be written or removed.
bool journalMovedPrinters();
