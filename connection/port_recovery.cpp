#include "connection/port_recovery.h"

#include "connection/ports_journal.h"
#include "connection/spooler_ports.h"
#include "platform/kernel.h"
#include "platform/state_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The spooler's printers as they are now. False when they cannot be listed, so that a spooler
// that does not answer never reads as one whose printers are all gone.
static bool listPrintersNow(uint8_t** block, uint32_t* count) {
    uint32_t needed = 0;
    *block = nullptr;
    *count = 0;
    if (!listSpoolerPrinters(nullptr, 0, &needed, count) && needed == 0) {
        return false;
    }
    if (needed == 0) {
        return true;
    }
    *block = static_cast<uint8_t*>(malloc(needed));
    return *block != nullptr && listSpoolerPrinters(*block, needed, &needed, count);
}

static PrinterPortEntry* findPrinter(uint8_t* block, uint32_t count, const char* name) {
    for (uint32_t i = 0; i < count; ++i) {
        PrinterPortEntry* record = printerRecord(block, i);
        if (strcmp(spoolerService->printerName(record), name) == 0) {
            return record;
        }
    }
    return nullptr;
}

// Puts back each journaled printer that is still off its port; one that is gone, or that
// someone has put on a port of their choosing meanwhile, is left alone.
static bool putBackJournaled(const PortsJournalEntry* entries, uint32_t entryCount) {
    uint8_t* block = nullptr;
    uint32_t count = 0;
    bool listed = listPrintersNow(&block, &count);
    bool allBack = listed;
    for (uint32_t i = 0; listed && i < entryCount; ++i) {
        PrinterPortEntry* record = findPrinter(block, count, entries[i].printerName);
        debugLogFormat("RestorePortsFromJournal - Printer = %s, original setting %s",
                       entries[i].printerName, entries[i].setting);
        if (record != nullptr && spoolerService->isOffPort(record)) {
            spoolerService->putBackSetting(record, entries[i].setting);
            allBack = SetPortToFile(record, false) && allBack;
        }
    }
    free(block);
    return allBack;
}

static bool removeJournal() {
    PlatformError error;
    if (!stateFileService->remove(PORTS_JOURNAL_NAME, &error)) {
        debugLogFailure("RestorePortsFromJournal - removing the journal", nullptr, error);
        return false;
    }
    return true;
}

// Reads, parses and applies the journal, in the buffer text.
static PortRecovery applyJournal(char* text) {
    uint32_t length = 0;
    bool present = false;
    PlatformError error;
    if (!stateFileService->read(PORTS_JOURNAL_NAME, text, PORTS_JOURNAL_MAX_BYTES, &length,
                                &present, &error)) {
        debugLogFailure("RestorePortsFromJournal - reading the journal", nullptr, error);
        return PORT_RECOVERY_UNREADABLE;
    }
    if (!present) {
        return PORT_RECOVERY_NOTHING_LEFT;
    }
    uint32_t capacity = portsJournalCapacity(text, length);
    PortsJournalEntry* entries =
        static_cast<PortsJournalEntry*>(malloc(sizeof(PortsJournalEntry) * (capacity + 1)));
    uint32_t count = 0;
    PortRecovery outcome = PORT_RECOVERY_UNREADABLE;
    if (entries != nullptr && parsePortsJournal(text, length, entries, capacity, &count)) {
        outcome = putBackJournaled(entries, count) && removeJournal() ? PORT_RECOVERY_RESTORED
                                                                      : PORT_RECOVERY_INCOMPLETE;
    }
    free(entries);
    return outcome;
}

PortRecovery RestorePortsFromJournal() {
    debugLog("RestorePortsFromJournal - Entry");
    char* text = static_cast<char*>(malloc(PORTS_JOURNAL_MAX_BYTES));
    PortRecovery outcome = text != nullptr ? applyJournal(text) : PORT_RECOVERY_INCOMPLETE;
    free(text);
    portsJournalBlocked =
        outcome == PORT_RECOVERY_UNREADABLE || outcome == PORT_RECOVERY_INCOMPLETE;
    return outcome;
}

void describePortRecovery(PortRecovery outcome, char* text, uint32_t size) {
    char path[512];
    stateFileService->path(PORTS_JOURNAL_NAME, path, sizeof path);
    switch (outcome) {
    case PORT_RECOVERY_NOTHING_LEFT:
        snprintf(text, size, "%s", "");
        break;
    case PORT_RECOVERY_RESTORED:
        snprintf(text, size, "Printer ports restored after an interrupted run");
        break;
    case PORT_RECOVERY_UNREADABLE:
        snprintf(text, size,
                 "The journal of printer ports %s cannot be read. It is kept, and no printer "
                 "port is moved until it is repaired or removed",
                 path);
        break;
    case PORT_RECOVERY_INCOMPLETE:
        snprintf(text, size,
                 "Printer ports of an interrupted run could not all be restored (journal %s "
                 "kept). No printer port is moved until they are",
                 path);
        break;
    }
}
