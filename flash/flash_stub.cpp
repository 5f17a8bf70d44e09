// Stand-ins for the flash mode entry and the writer, so that the dialog links before they
// exist: no upgrade ever starts and no writer is ever busy.

#include "flash/flash_entry.h"
#include "platform/kernel.h"

WriterJob writerJob = {};
std::atomic<bool> updateInProgress{false};

void upgradePrinterFirmware() {
    debugLog("upgradePrinterFirmware - Not available in this build");
}

bool writerBusy() {
    return false;
}
