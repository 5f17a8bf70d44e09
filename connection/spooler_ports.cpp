#include "connection/spooler_ports.h"

#include "connection/ports_journal.h"
#include "platform/kernel.h"
#include "platform/state_files.h"
#include "platform/user_interface.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

uint8_t* enumeratedPrinters = nullptr;
uint8_t* workingPrinters = nullptr;
uint32_t printerCount = 0;
bool portsMoved = false;
uint8_t* movedPrinters = nullptr;
bool portsJournalBlocked = false;

// The size of each of the two lists.
static uint32_t listSize = 0;

PrinterPortEntry* printerRecord(uint8_t* list, uint32_t index) {
    return reinterpret_cast<PrinterPortEntry*>(list + size_t{index} * spoolerService->recordSize);
}

// Shows a message about one printer; a name too long for the 1024-byte text is cut.
__attribute__((format(printf, 1, 2))) static void showPrinterMessage(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    showMessage(text);
}

static void releasePrinterLists() {
    free(enumeratedPrinters);
    free(workingPrinters);
    free(movedPrinters);
    enumeratedPrinters = nullptr;
    workingPrinters = nullptr;
    movedPrinters = nullptr;
    listSize = 0;
    printerCount = 0;
}

bool listSpoolerPrinters(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count) {
    PlatformError error;
    bool listed = spoolerService->enumerate(block, size, needed, count, &error);
    if (!listed && (*needed == 0 || *needed <= size)) {
        debugLogFailure("listSpoolerPrinters - listing the printers", nullptr, error);
    }
    return listed;
}

// Allocates both lists of the given size and takes the spooler's list into the first. When
// the spooler refuses, *needed is the size it asks for now (0 when the allocation failed).
static bool takePrinterList(uint32_t size, uint32_t* needed, uint32_t* count) {
    releasePrinterLists();
    *needed = 0;
    enumeratedPrinters = static_cast<uint8_t*>(malloc(size));
    workingPrinters = static_cast<uint8_t*>(malloc(size));
    if (enumeratedPrinters == nullptr || workingPrinters == nullptr) {
        return false;
    }
    listSize = size;
    return listSpoolerPrinters(enumeratedPrinters, size, needed, count);
}

bool EnumeratePrinters() {
    uint32_t needed = 0;
    uint32_t count = 0;
    listSpoolerPrinters(nullptr, 0, &needed, &count);
    if (needed == 0) {
        showMessage("EnumeratePrinters - No printer driver installed");
        return true;
    }
    // A printer installed between the two requests makes the list longer than the first
    // answer said: ask once more with the size the spooler asks for now.
    uint32_t used = 0;
    if (!takePrinterList(needed, &used, &count) &&
        (used == 0 || !takePrinterList(used, &used, &count))) {
        releasePrinterLists();
        showMessage("EnumeratePrinters - Could not allocate memory for port reassigment");
        return false;
    }
    memcpy(workingPrinters, enumeratedPrinters, used < listSize ? used : listSize);
    uint32_t recordsHeld = listSize / spoolerService->recordSize;
    printerCount = count < recordsHeld ? count : recordsHeld;
    movedPrinters = static_cast<uint8_t*>(calloc(printerCount + 1, 1));
    if (movedPrinters == nullptr) {
        releasePrinterLists();
        showMessage("EnumeratePrinters - Could not allocate memory for port reassigment");
        return false;
    }
    return true;
}

// Journals every printer about to be moved, before the first one is. With nothing to move the
// journal is left alone.
static bool journalPrintersToMove() {
    uint32_t toMove = 0;
    for (uint32_t i = 0; i < printerCount; ++i) {
        movedPrinters[i] = !spoolerService->isOffPort(printerRecord(workingPrinters, i));
        toMove += movedPrinters[i];
    }
    if (toMove == 0 || journalMovedPrinters()) {
        return true;
    }
    char path[512];
    stateFileService->path(PORTS_JOURNAL_NAME, path, sizeof path);
    showPrinterMessage("SetPortsToFile - Could not write %s, no port moved", path);
    releasePrinterLists();
    return false;
}

// Brings the journal in line with movedPrinters, when this run journaled anything.
static void updateJournal() {
    for (uint32_t i = 0; i < printerCount; ++i) {
        if (spoolerService->portName(printerRecord(enumeratedPrinters, i)) !=
            spoolerService->portName(printerRecord(workingPrinters, i))) {
            journalMovedPrinters();
            return;
        }
    }
}

bool SetPortsToFile() {
    debugLog("SetPortsToFile - Entry");
    if (portsMoved) {
        debugLog("SetPortsToFile - Returning because ports already moved");
        return true;
    }
    if (portsJournalBlocked) {
        debugLog("SetPortsToFile - Returning because a journal of an earlier run is left");
        return false;
    }
    if (!EnumeratePrinters() || !journalPrintersToMove()) {
        return false;
    }
    for (uint32_t i = 0; i < printerCount; ++i) {
        PrinterPortEntry* record = printerRecord(workingPrinters, i);
        debugLogFormat("SetPortsToFile - Printer to file = %s, port = %s",
                       spoolerService->printerName(record), spoolerService->portName(record));
        if (movedPrinters[i] != 0) {
            movedPrinters[i] = SetPortToFile(record, true);
        }
    }
    // A journal that still lists a printer that did not move is harmless: only a printer
    // still off its port is ever put back from it.
    updateJournal();
    portsMoved = true;
    return true;
}

void RestorePortsToOriginal() {
    debugLog("RestorePortsToOriginal - Entry");
    for (uint32_t i = 0; i < printerCount; ++i) {
        PrinterPortEntry* original = printerRecord(enumeratedPrinters, i);
        const char* originalPort = spoolerService->portName(original);
        debugLogFormat("RestorePortsToOriginal - Printer = %s",
                       spoolerService->printerName(original));
        debugLogFormat("RestorePortsToOriginal - Original port name %s", originalPort);
        if (strcmp(originalPort, spoolerService->portName(printerRecord(workingPrinters, i))) !=
                0 &&
            SetPortToFile(original, false)) {
            movedPrinters[i] = 0;
        }
    }
    // A printer that could not be put back stays in the journal for the next start.
    updateJournal();
    releasePrinterLists();
    portsMoved = false;
}

bool SetPortToFile(PrinterPortEntry* record, bool moveToFile) {
    const char* printerName = spoolerService->printerName(record);
    SpoolerPrinterHandle printer = 0;
    PlatformError error;
    if (!spoolerService->open(printerName, &printer, &error)) {
        debugLogFailure("SetPortToFile - open", printerName, error);
        showPrinterMessage("SetPortToFile - Could not open printer %s, (Win7 ignore)", printerName);
    }
    // The record is pointed at "FILE:" even when the printer did not open, so that the exit
    // tries to put it back.
    if (moveToFile) {
        spoolerService->takeOffPort(record);
    }
    bool set = spoolerService->set(printer, record, &error);
    if (!set) {
        debugLogFailure("SetPortToFile - set", printerName, error);
        showPrinterMessage("SetPrinter - %s failed, (Win7 ignore)", printerName);
    }
    spoolerService->close(printer);
    return set;
}
