// Temporary: stands in for the probe, the dialog procedure and the flash code until they land.
#include "app/probe.h"
#include "app/update_dialog.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"

WriterJob writerJob = {INVALID_CHANNEL_HANDLE, INVALID_SOCKET_HANDLE, nullptr, nullptr, nullptr};
std::atomic<bool> updateInProgress{false};
bool writerBusy() {
    return false;
}
intptr_t updateDialogProc(DialogWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}
