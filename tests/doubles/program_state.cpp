#include "tests/doubles/program_state.h"

#include "connection/local_discovery.h"
#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"

#include <cstring>

void resetProgramState() {
    memset(&printerData, 0, sizeof printerData);
    activeConnection = 0;
    currentImage = nullptr;
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        FirmwareCatalogue[slot].size = firmwareBuildRecords[slot].size;
    }
    printerHandle = INVALID_CHANNEL_HANDLE;
    usbDeviceTable = UsbDeviceTable;
}
