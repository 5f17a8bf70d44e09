#include "app/probe.h"

#include "app/run_end.h"
#include "connection/device_id_read.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/spooler_ports.h"
#include "connection/status.h"
#include "flash/firmware_pick.h"
#include "flash/flash_writer.h"
#include "identity/device_id.h"
#include "identity/firmware_catalogue.h"
#include "identity/firmware_selection.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <cstdio>

namespace {

enum ProbeRoute {
    PROBE_LOCAL,
    PROBE_ETHERNET,
};

constexpr int CAPTION_SIZE = 1024;
constexpr const char ID_NOT_READ_REASON[] =
    "No firmware offered: the printer's device id could not be read";

// Board labels by boardType. Over TCP only two texts exist: every board from II up shows as
// board II.
const char* const LOCAL_BOARD_LABELS[] = {"LOGIC BD I", "LOGIC BD II ROHS", "MZ54 STANDARD",
                                          "MZ54 DualDriver"};
const char* const ETHERNET_BOARD_LABELS[] = {"LOGIC BD I", "LOGIC BD II ROHS", "LOGIC BD II ROHS",
                                             "LOGIC BD II ROHS"};
constexpr int BOARD_LABEL_COUNT = sizeof LOCAL_BOARD_LABELS / sizeof LOCAL_BOARD_LABELS[0];

const char* languageLabel(int32_t language) {
    switch (language) {
    case LANG_G:
        return "G";
    case LANG_HRM:
        return "HRM";
    case LANG_RASTER:
        return "RASTER";
    default:
        return "NOT FOUND";
    }
}

void setText(ControlHandle control, const char* text) {
    userInterfaceService->setText(control, text);
}

void enable(ControlHandle control, bool enabled) {
    userInterfaceService->enable(control, enabled);
}

void show(ControlHandle control, bool visible) {
    userInterfaceService->show(control, visible);
}

void startProbe(DialogControls* controls, const char* statusText) {
    printerIdentified = false;
    enable(controls->firmwareCombo, false);
    setText(controls->probeStatusText, statusText);
    show(controls->firmwareCombo, false);
}

void showNothingFound(DialogControls* controls, const char* statusText) {
    setText(controls->probeStatusText, statusText);
    enable(controls->findEthernetButton, true);
    enable(controls->ethernetGroup, true);
}

void showIdentity(DialogControls* controls, PrinterData* printer, ProbeRoute route) {
    if (!parseModel(printer)) {
        showMessage(DEVICE_ID_KEY_MISSING_MESSAGE);
    }
    setText(controls->modelText, printer->modelName);
    setPortLabel(printer);
    setText(controls->portText, printer->portName);
    if (!parseFirmwareVersion(printer)) {
        showMessage(DEVICE_ID_KEY_MISSING_MESSAGE);
    }
    setText(controls->versionText, printer->firmwareVersion);
    setText(controls->languageText, languageLabel(printer->language));
    if (printer->language == LANG_RASTER) {
        enable(controls->firmwareCombo, true);
    }
    // The parser sets only boards 0 to 3; any other value leaves the text as it was.
    if (printer->boardType >= 0 && printer->boardType < BOARD_LABEL_COUNT) {
        const char* const* labels =
            route == PROBE_LOCAL ? LOCAL_BOARD_LABELS : ETHERNET_BOARD_LABELS;
        setText(controls->boardText, labels[printer->boardType]);
    }
}

// Firmware is chosen only for a printer that this probe's device id identified; otherwise the
// reason, for the upgrade button's caption, goes to reason.
void checkIdentity(const PrinterData* printer, bool idRead, char* reason, size_t size) {
    printerIdentified = idRead && deviceIdIdentifiesPrinter(printer, reason, size);
    if (!idRead) {
        snprintf(reason, size, "%s", ID_NOT_READ_REASON);
    }
}

// The upgrade button's prompt for a ready printer, with the chosen image's version; false for a
// language with none.
static bool formatReadyCaption(const PrinterData* printer, ProbeRoute route, char* caption,
                               size_t size) {
    const char* version = currentImage != nullptr ? currentImage->version : "";
    switch (printer->language) {
    case LANG_G:
        snprintf(caption, size, "Update G printer to new version? (%s)", version);
        return true;
    case LANG_HRM:
        snprintf(caption, size, "Update HRM printer to new version? (%s)", version);
        return true;
    case LANG_RASTER:
        snprintf(caption, size, "%s",
                 route == PROBE_LOCAL && printer->boardType >= BOARD_MZ54_STANDARD
                     ? "Update MZ-54 printer FW file not selected"
                     : "Update VRK-54 printer FW file not selected");
        return true;
    default:
        return false;
    }
}

void setReadyCaption(DialogControls* controls, const PrinterData* printer, ProbeRoute route) {
    char caption[CAPTION_SIZE];
    if (formatReadyCaption(printer, route, caption, sizeof caption)) {
        setText(controls->upgradeButton, caption);
    }
}

// A ready printer that did not identify itself: shown as found, but no image is chosen, the
// combo box stays out of reach and the upgrade button, disabled, says why.
void showUnidentifiedPrinter(DialogControls* controls, const char* reason) {
    setText(controls->probeStatusText, "Found Printer - Printer ready");
    enableUpdateControls(controls);
    currentImage = nullptr;
    enable(controls->firmwareCombo, false);
    setText(controls->upgradeButton, reason);
    enable(controls->upgradeButton, false);
}

void showReadyPrinter(DialogControls* controls, PrinterData* printer, ProbeRoute route,
                      const char* reason) {
    if (!printerIdentified) {
        showUnidentifiedPrinter(controls, reason);
        return;
    }
    setText(controls->probeStatusText, "Found Printer - Printer ready");
    enableUpdateControls(controls);
    printer->variant = 1;
    pickFirmwareImage(&currentImage, printer);
    fillFirmwareCombo(controls->firmwareCombo, variantNamesForBoard(printer->boardType));
    enable(controls->firmwareCombo, true);
    setReadyCaption(controls, printer, route);
    // A raster printer has two images to choose from: the button waits for the user's choice.
    if (printer->language == LANG_RASTER) {
        enable(controls->upgradeButton, false);
        show(controls->firmwareCombo, true);
    }
}

void showNotReady(DialogControls* controls) {
    disableUpdateControls(controls);
    setText(controls->probeStatusText, "Found Printer - Printer NOT ready");
}

void showReadiness(DialogControls* controls, PrinterData* printer, bool ready, ProbeRoute route,
                   const char* reason) {
    if (ready) {
        showReadyPrinter(controls, printer, route, reason);
    } else {
        showNotReady(controls);
    }
}

// Once a local printer is found the address fields are of no more use in this run.
void hideEthernetControls(DialogControls* controls) {
    ControlHandle DialogControls::*const members[] = {
        &DialogControls::ethernetGroup,     &DialogControls::findEthernetButton,
        &DialogControls::ipOctet1Edit,      &DialogControls::ipOctet2Edit,
        &DialogControls::ipOctet3Edit,      &DialogControls::ipOctet4Edit,
        &DialogControls::tcpPortEdit,       &DialogControls::ipAddressLabel,
        &DialogControls::ethernetPortLabel,
    };
    for (ControlHandle DialogControls::*member : members) {
        show(controls->*member, false);
    }
}

} // namespace

void fillFirmwareCombo(ControlHandle combo, const char* const* names) {
    userInterfaceService->comboReset(combo);
    int count = variantEntryCount(names);
    for (int index = 0; index < count; ++index) {
        userInterfaceService->comboAddString(combo, names[index]);
    }
    userInterfaceService->comboSelect(combo, 0);
}

void refreshPrinterData(DialogControls* controls, PrinterData* printer) {
    debugLog("refreshPrinterData - Entry");
    startProbe(controls, "Probing for printers");
    // Once the printers are back on their ports for the end of the run, they stay there.
    if (!portsRestored && !SetPortsToFile()) {
        requestRunEnd();
    }
    if (!GetPrinterHandle(&printerHandle, printer)) {
        showNothingFound(controls, "Did not find printer");
        enableEthernetControls();
        return;
    }
    bool idRead = GetPrinterID(printerHandle, printer);
    if (!idRead) {
        showMessage("Can't get printer ID, exiting ");
        requestRunEnd();
    }
    showIdentity(controls, printer, PROBE_LOCAL);
    char reason[CAPTION_SIZE];
    checkIdentity(printer, idRead, reason, sizeof reason);
    showReadiness(controls, printer, isPrinterReady(printerHandle, printer), PROBE_LOCAL, reason);
    closePrinterHandle(printerHandle);
    printerHandle = INVALID_CHANNEL_HANDLE;
    hideEthernetControls(controls);
}

void findEthernetPrinter(DialogControls* controls, PrinterData* printer) {
    findEthernetPrinterAt(controls, printer, &ethernetSettings);
}

void findEthernetPrinterAt(DialogControls* controls, PrinterData* printer,
                           const EthernetSettings* address) {
    startProbe(controls, "Probing for printers - Operation may take up to 30 seconds");
    if (!connectEthernet(&printerSocket, address->ipOctet1, address->ipOctet2, address->ipOctet3,
                         address->ipOctet4, address->tcpPort, printer)) {
        showNothingFound(controls, "Did not find Ethernet attached printer");
        return;
    }
    activeConnection = PORT_TYPE_ETHERNET;
    debugLogFormat("After finding Ethernet port type = %d", printer->portType);
    if (!GetPrinterIDEthernet(printerSocket, printer)) {
        showMessage("Can't get printer ID");
        showNotReady(controls);
        closeSocket(printerSocket);
        return;
    }
    showIdentity(controls, printer, PROBE_ETHERNET);
    char reason[CAPTION_SIZE];
    checkIdentity(printer, true, reason, sizeof reason);
    showReadiness(controls, printer, isPrinterReadyEthernet(printerSocket), PROBE_ETHERNET, reason);
    closeSocket(printerSocket);
}

void connectWriterClosingProbes() {
    writerClosingProbes = {.local = refreshPrinterData, .ethernet = findEthernetPrinterAt};
}

bool selectFirmwareVariant(DialogControls* controls, PrinterData* printer) {
    // Only a printer this probe identified has firmware to choose from.
    if (!printerIdentified) {
        return false;
    }
    int index = userInterfaceService->comboGetSelection(controls->firmwareCombo);
    char caption[CAPTION_SIZE];
    composeVariantCaption(caption, sizeof caption, printer->boardType, index);
    setText(controls->upgradeButton, caption);
    enable(controls->upgradeButton, true);
    printer->variant = variantForSelection(printer->boardType, index);
    return pickFirmwareImage(&currentImage, printer);
}
