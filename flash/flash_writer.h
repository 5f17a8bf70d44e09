#pragma once

// The flash writer thread: streams the chosen image to a printer in flash mode, waits for its
// reset, then probes it again so the dialog shows the new firmware version.

#include "app/dialog_controls.h"
#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
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
};

extern WriterJob writerJob;

// Set while a writer programs the printer: the dialog then refuses to exit and ignores the
// upgrade button, "Refresh data", "Display Versions" and "Find Ethernet Printer".
extern std::atomic<bool> updateInProgress;

// True from the moment a writer is started until its closing probe has returned. The writer
// clears updateInProgress before that probe (so exit is allowed again), but the dialog's own
// probes, the upgrade and "Display Versions" must wait until the writer's probe is done, since
// both would work on the same globals and channel.
bool writerBusy();

// The thread bodies; each takes the address of the WriterJob.
void flashWriterLocal(void* job);
void flashWriterEthernet(void* job);
