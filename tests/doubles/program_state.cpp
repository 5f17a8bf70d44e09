#include "tests/doubles/program_state.h"

#include "app/dialog_controls.h"
#include "app/single_instance.h"
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
    memset(&dialogControls, 0, sizeof dialogControls);
    memset(&ethernetSettings, 0, sizeof ethernetSettings);
    instanceMutex = NO_MARKER;
    m_dwLastError = 0;
}
