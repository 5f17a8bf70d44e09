#include "tests/doubles/program_state.h"

#include "app/run.h"
#include "app/single_instance.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/spooler_ports.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
#include "outcome/outcomes.h"
#include "tests/doubles/state_file_double.h"

#include <cstdlib>
#include <cstring>

void resetProgramState() {
    memset(&printerData, 0, sizeof printerData);
    activeConnection = 0;
    currentImage = nullptr;
    printerSocket = INVALID_SOCKET_HANDLE;
    ethernetTimeouts = DEFAULT_ETHERNET_TIMEOUTS;
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        FirmwareCatalogue[slot].size = firmwareBuildRecords[slot].size;
    }
    printerHandle = INVALID_CHANNEL_HANDLE;
    usbDeviceTable = UsbDeviceTable;
    pickedUsbDevice = nullptr;
    listedUsbPrinterCount = 0;
    free(enumeratedPrinters);
    free(workingPrinters);
    free(movedPrinters);
    enumeratedPrinters = nullptr;
    workingPrinters = nullptr;
    movedPrinters = nullptr;
    printerCount = 0;
    portsMoved = false;
    portsJournalBlocked = false;
    memset(&dialogControls, 0, sizeof dialogControls);
    memset(&ethernetSettings, 0, sizeof ethernetSettings);
    instanceMutex = NO_MARKER;
    m_dwLastError = 0;
    instanceMarkerError = {};
    runEndRequested = false;
    portsRestored = false;
    writerJob = {INVALID_CHANNEL_HANDLE, INVALID_SOCKET_HANDLE, nullptr, nullptr, nullptr, {}};
    writerOutcome = {};
    printerIdentified = false;
    resetOutcomes();
    reopenFlashModeGate();
    updateInProgress = false;
    resetStateFileDouble();
}
