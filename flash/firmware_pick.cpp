#include "flash/firmware_pick.h"

#include "identity/firmware_selection.h"
#include "platform/user_interface.h"

bool pickFirmwareImage(FirmwareImage** slotReference, PrinterData* record) {
    FirmwareChoice choice;
    bool chosen = chooseFirmwareSlot(record, &choice);
    for (int message = 0; message < choice.messageCount; ++message) {
        showMessage(choice.messages[message]);
    }
    if (chosen) {
        *slotReference = &FirmwareCatalogue[choice.slot];
    }
    return chosen;
}
