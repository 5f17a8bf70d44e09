#pragma once

// Spooler service: the locally installed printers, each with the port it prints to, taking a
// printer off its port and putting it back. What this program changed is journaled in a state
// file (platform/state_files.h), so that a run that ends in any way can be put right by the
// next one.
//
// The printers come as one block, as the spooler hands it out: an array of records of the
// platform's own layout (PRINTER_INFO_2 on Windows), followed by the texts the records refer
// to. The portable code keeps such a block, copies it byte for byte, and reaches record i at
// block + i * recordSize; it reads and changes a record only through the operations below. A
// copied record still refers to the texts of the block it was copied from.
//
// Windows: a printer is taken off its port by moving it to the port "FILE:", and put back by
// handing the spooler its whole original record.
// Linux: the printers are the CUPS queues of the CUPS server (CUPS_SERVER) and a queue's port is
// its device URI, except that the device URI file:/dev/null is the port "FILE:". A queue is
// taken off its port by holding it (IPP Pause-Printer with the state message
// SPOOLER_HOLD_MESSAGE): it keeps its device and goes on accepting jobs, which wait in the queue
// instead of being thrown away. It is put back by releasing it to the idle state with the state
// message it had; its device, its acceptance of jobs and its other state reasons are never
// touched.
// Every operation blocks the calling thread.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// One record of a block; its layout is the platform's.
struct PrinterPortEntry;

// An open printer (a Windows printer handle); 0 when none is open.
typedef intptr_t SpoolerPrinterHandle;

// The port that keeps the spooler away from every device.
constexpr const char SPOOLER_FILE_PORT[] = "FILE:";

// The state message of a CUPS queue that this program holds.
constexpr const char SPOOLER_HOLD_MESSAGE[] = "ticketflash: firmware upgrade in progress";

struct SpoolerService {
    DesignatedOnly designatedOnly{};

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

    // Whether the printer is kept away from every device already, so that there is nothing to
    // take off: its port is exactly "FILE:" (case-sensitive); on Linux also a stopped queue,
    // whoever stopped it (it stays stopped, with its own reason).
    bool (*isOffPort)(const PrinterPortEntry* record);

    // Makes the record ask for its printer to be taken off its port when it is set: its port
    // then refers to the constant text "FILE:".
    void (*takeOffPort)(PrinterPortEntry* record);

    // What the journal keeps of an original record to put its printer back: the port on
    // Windows, the queue's state message on Linux. The text belongs to the record.
    const char* (*originalSetting)(const PrinterPortEntry* record);

    // Makes a record of the printer as it is now ask for the printer to be put back to a
    // setting that originalSetting gave. The record then refers to setting, which must outlive
    // its use.
    void (*putBackSetting)(PrinterPortEntry* record, const char* setting);

    // Opens the named printer with full access (OpenPrinterA, PRINTER_ALL_ACCESS). On failure
    // *printer is 0.
    bool (*open)(const char* printerName, SpoolerPrinterHandle* printer, PlatformError* error);

    // Gives the printer the settings of the whole record (SetPrinterA, level 2). Fails on a
    // printer that is not open. On Linux a record taken off its port holds the queue; any other
    // record releases the queue when this program holds it (stopped with SPOOLER_HOLD_MESSAGE,
    // as it was when it was opened), with the record's state message, and otherwise leaves the
    // queue as it is.
    bool (*set)(SpoolerPrinterHandle printer, const PrinterPortEntry* record, PlatformError* error);

    // Closes a printer (ClosePrinter); 0, no printer, is harmless.
    void (*close)(SpoolerPrinterHandle printer);

    // Whether this process holds the rights that changing the printers needs, asked before a
    // run touches any. Windows: whether the process token is elevated (TokenElevation), since
    // open refuses PRINTER_ALL_ACCESS to a standard user's token, an administrator's filtered
    // one included; a token that cannot be read counts as not elevated. Linux: always true,
    // the CUPS scheduler judges each request itself. Does not block.
    bool (*mayChangePrinters)();
};

extern const SpoolerService* spoolerService;
