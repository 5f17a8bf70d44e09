// Temporary stand-ins so that ticketflash.exe links before the dialog procedure, the end of
// the run and the writer land: the dialog shows its template and "Exit" ends it.
#include "app/run_end.h"
#include "app/update_dialog.h"
#include "flash/flash_writer.h"
#include "platform/user_interface.h"

std::atomic<bool> updateInProgress{false};
std::atomic<bool> portsRestored{false};

void restorePortsOnce() {
    portsRestored = true;
}

intptr_t updateDialogProc(DialogWindow, uint32_t message, uintptr_t first, intptr_t) {
    if (message == DIALOG_MESSAGE_COMMAND && (first & 0xFFFF) == 1012) {
        userInterfaceService->postQuit(0);
    }
    return message == DIALOG_MESSAGE_INIT;
}
