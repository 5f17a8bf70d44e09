#pragma once

// The flash writer thread: streams the chosen image to a printer in flash mode, waits for its
// reset, then probes it again so the dialog shows the new firmware version.

#include "dialog/dialog_controls.h"
#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
#include "platform/designated_only.h"
#include "platform/local_channel.h"
#include "platform/network.h"

#include <atomic>
#include <cstdint>

// The largest number of image bytes in one write.
constexpr uint32_t FLASH_BLOCK_SIZE = 512;

// What a writer thread works from; one global instance, filled by the flash mode entry just
// before the thread starts. The field of the other route keeps what an earlier entry left.
struct WriterJob {
    ChannelHandle handle; // local route
    SocketHandle socket;  // Ethernet route
    DialogControls* controls;
    FirmwareImage* image;
    PrinterData* printer;
    // The Ethernet route's printer address as the entry used it: the closing probe works from
    // this copy, so that the user's typing in the address edits meanwhile cannot race it.
    EthernetSettings address;
};

extern WriterJob writerJob;

// What the last writer did with its image, for the front ends: an upgrade is done only when
// every byte was accepted (and the printer then reports the image's version). Filled by the
// writer before its closing steps, read once writerBusy() is false.
struct WriterOutcome {
    bool wroteAll;            // every byte of the image accepted without a write error
    uint32_t bytesAccepted;   // bytes of the image the printer took
    uint32_t imageSize;       // bytes the writer meant to send
    PlatformError writeError; // the failed write's error, none without one
};

extern WriterOutcome writerOutcome;

// Set while a writer programs the printer: the dialog then refuses to exit and ignores the
// upgrade button, "Refresh data", "Display Versions" and "Find Ethernet Printer".
extern std::atomic<bool> updateInProgress;

// True from the moment a writer is started until its closing probe has returned. The writer
// clears updateInProgress before that probe (so exit is allowed again), but the dialog's own
// probes, the upgrade and "Display Versions" must wait until the writer's probe is done, since
// both would work on the same globals and channel.
bool writerBusy();

// The probes a writer runs at its end, on its own thread, so that the dialog shows the printer's
// new firmware: the local one, and the one over TCP to the job's copy of the address. They
// belong to the dialog side, above the writer, which hands them over as it starts
// (connectWriterClosingProbes in app/probe.h). A writer without them skips its closing probe.
struct WriterClosingProbes {
    DesignatedOnly designatedOnly{};
    void (*local)(DialogControls* controls, PrinterData* printer);
    void (*ethernet)(DialogControls* controls, PrinterData* printer,
                     const EthernetSettings* address);
};

extern WriterClosingProbes writerClosingProbes;

// The thread bodies; the argument of each is the address of the WriterJob.
void flashWriterLocal(void* argument);
void flashWriterEthernet(void* argument);
