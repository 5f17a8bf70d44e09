#pragma once

// Spooler service: the locally installed printers, each with the port it prints to, and
// changing a printer's port.
//
// The printers come as one block, as the spooler hands it out: an array of records of the
// platform's own layout (PRINTER_INFO_2 on Windows), followed by the texts the records refer
// to. The portable code keeps such a block, copies it byte for byte, and reaches record i at
// block + i * recordSize; it reads and changes a record only through the operations below. A
// copied record still refers to the texts of the block it was copied from.
//
// On Linux the printers are the CUPS queues of the CUPS server (CUPS_SERVER) and a queue's
// port is its device URI, except that the device URI file:/dev/null is the port "FILE:".
// Every operation blocks the calling thread.

#include "platform/platform_error.h"

#include <cstdint>

// One record of a block; its layout is the platform's.
struct PrinterPortEntry;

// An open printer (a Windows printer handle); 0 when none is open.
typedef intptr_t SpoolerPrinterHandle;

// The port that keeps the spooler away from every device.
constexpr const char SPOOLER_FILE_PORT[] = "FILE:";

struct SpoolerService {
    // The size of one record of a block.
    uint32_t recordSize;

    // Lists the local printers into block (size bytes; block may be null when size is 0).
    // *needed is the size a block must have, also on failure; on success it is the number of
    // bytes written and *count the number of records. Fails when the block is too small.
    bool (*enumerate)(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count,
                      PlatformError* error);

    // The texts a record refers to.
    const char* (*printerName)(const PrinterPortEntry* record);
    const char* (*portName)(const PrinterPortEntry* record);

    // Makes the record's port refer to the constant text "FILE:".
    void (*pointPortAtFile)(PrinterPortEntry* record);

    // Opens the named printer with full access (OpenPrinterA, PRINTER_ALL_ACCESS). On failure
    // *printer is 0.
    bool (*open)(const char* printerName, SpoolerPrinterHandle* printer, PlatformError* error);

    // Gives the printer the settings of the whole record (SetPrinterA, level 2). Fails on a
    // printer that is not open.
    bool (*set)(SpoolerPrinterHandle printer, const PrinterPortEntry* record, PlatformError* error);

    // Closes a printer (ClosePrinter); 0, no printer, is harmless.
    void (*close)(SpoolerPrinterHandle printer);
};

extern const SpoolerService* spoolerService;
