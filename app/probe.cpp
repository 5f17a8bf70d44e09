#include "app/probe.h"

#include "app/run.h"
#include "connection/device_id_read.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/route_failure.h"
#include "connection/spooler_ports.h"
#include "connection/status.h"
#include "flash/firmware_pick.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "history/upgrade_history.h"
#include "identity/device_id.h"
#include "identity/firmware_catalogue.h"
#include "identity/firmware_selection.h"
#include "outcome/outcomes.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

enum ProbeRoute {
    PROBE_LOCAL,
    PROBE_ETHERNET,
};

constexpr int CAPTION_SIZE = 1024;
constexpr const char ID_NOT_READ_REASON[] =
    "No firmware offered: the printer's device id could not be read";

// Board labels by boardType over TCP, where only two texts exist: every board from II up shows
// as board II. The local route shows each board's own name (boardName).
const char* const ETHERNET_BOARD_LABELS[] = {"LOGIC BD I", "LOGIC BD II ROHS", "LOGIC BD II ROHS",
                                             "LOGIC BD II ROHS"};
constexpr int BOARD_LABEL_COUNT = sizeof ETHERNET_BOARD_LABELS / sizeof ETHERNET_BOARD_LABELS[0];

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

// The status line, in the dialog and in the probe's record.
void showStatus(DialogControls* controls, ProbeOutcome* outcome, const char* statusText) {
    setText(controls->probeStatusText, statusText);
    outcome->status = statusText;
}

ProbeOutcome startProbe(DialogControls* controls, ProbeKind kind, const char* statusText) {
    printerIdentified = false;
    clearRouteFailure();
    repairImageSlot = -1;
    ProbeOutcome outcome = beginProbeOutcome(kind);
    enable(controls->firmwareCombo, false);
    showStatus(controls, &outcome, statusText);
    show(controls->firmwareCombo, false);
    publishProbeOutcome(outcome);
    return outcome;
}

// The probe the dialog shows: a choice of variant changes its caption and image.
ProbeOutcome shownProbe;

// The probe's end: its record published, as the dialog now shows it.
void endProbe(const PrinterData* printer, ProbeOutcome* outcome, ProbeResult result) {
    outcome->result = result;
    outcome->route = printer->portType;
    outcome->runEndRequested = runEndRequested.load();
    shownProbe = *outcome;
    publishProbeOutcome(*outcome);
}

void showNothingFound(DialogControls* controls, ProbeOutcome* outcome, const char* statusText) {
    showStatus(controls, outcome, statusText);
    recordRouteFailure(outcome);
    enable(controls->findEthernetButton, true);
    enable(controls->ethernetGroup, true);
}

// The board text for the route; null for a board the parser never sets.
const char* boardLabel(int32_t boardType, ProbeRoute route) {
    if (route == PROBE_LOCAL) {
        return boardName(boardType);
    }
    if (boardType < 0 || boardType >= BOARD_LABEL_COUNT) {
        return nullptr;
    }
    return ETHERNET_BOARD_LABELS[boardType];
}

void recordIdentity(const PrinterData* printer, bool modelRead, bool versionRead,
                    ProbeOutcome* outcome) {
    outcome->port = portLabel(activeConnection);
    if (modelRead) {
        copyOutcomeText(outcome->model, sizeof outcome->model, printer->modelName);
        outcome->language = languageLabel(printer->language);
    }
    if (versionRead) {
        copyOutcomeText(outcome->version, sizeof outcome->version, printer->firmwareVersion);
    }
}

// The identity as the dialog shows it. A missing key, or a device id that could not be read,
// leaves a field of printerData as an earlier probe left it, and the dialog shows that; the
// record keeps only what this probe's device id gave.
void showIdentity(DialogControls* controls, PrinterData* printer, ProbeRoute route, bool idRead,
                  ProbeOutcome* outcome) {
    bool modelFound = parseModel(printer);
    if (!modelFound) {
        showMessage(DEVICE_ID_KEY_MISSING_MESSAGE);
    }
    setText(controls->modelText, printer->modelName);
    setPortLabel(printer);
    setText(controls->portText, printer->portName);
    bool versionFound = parseFirmwareVersion(printer);
    if (!versionFound) {
        showMessage(DEVICE_ID_KEY_MISSING_MESSAGE);
    }
    setText(controls->versionText, printer->firmwareVersion);
    setText(controls->languageText, languageLabel(printer->language));
    if (printer->language == LANG_RASTER) {
        enable(controls->firmwareCombo, true);
    }
    // The parser sets only boards 0 to 3; any other value leaves the text as it was.
    const char* board = boardLabel(printer->boardType, route);
    if (board != nullptr) {
        setText(controls->boardText, board);
    }
    recordIdentity(printer, idRead && modelFound, idRead && versionFound, outcome);
    outcome->deviceIdRead = idRead;
}

// The board is this probe's only when its version named one: the record keeps it then.
void recordBoard(const PrinterData* printer, ProbeRoute route, ProbeOutcome* outcome) {
    const char* board = boardLabel(printer->boardType, route);
    outcome->board = printerIdentified && board != nullptr ? board : "";
}

// Firmware is chosen only for a printer that this probe's device id identified; otherwise the
// reason, for the upgrade button's caption, goes to the record.
void checkIdentity(const PrinterData* printer, bool idRead, ProbeRoute route,
                   ProbeOutcome* outcome) {
    printerIdentified =
        idRead && deviceIdIdentifiesPrinter(printer, outcome->reason, sizeof outcome->reason);
    if (!idRead) {
        copyOutcomeText(outcome->reason, sizeof outcome->reason, ID_NOT_READ_REASON);
    }
    if (printerIdentified) {
        outcome->reason[0] = '\0';
    }
    recordBoard(printer, route, outcome);
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

// The upgrade button's caption and state, in the dialog and in the record.
void showCaption(DialogControls* controls, ProbeOutcome* outcome, const char* caption,
                 bool enabled) {
    setText(controls->upgradeButton, caption);
    copyOutcomeText(outcome->caption, sizeof outcome->caption, caption);
    enable(controls->upgradeButton, enabled);
    outcome->upgradeEnabled = enabled;
}

// The image a probe or a choice of variant leaves chosen, in the record.
void recordImage(ProbeOutcome* outcome) {
    outcome->imageSlot =
        currentImage != nullptr ? static_cast<int>(currentImage - FirmwareCatalogue) : -1;
    copyOutcomeText(outcome->image, sizeof outcome->image,
                    currentImage != nullptr ? currentImage->version : "");
}

// A ready printer that did not identify itself: shown as found, but no image is chosen, the
// combo box stays out of reach and the upgrade button, disabled, says why.
ProbeResult showUnidentifiedPrinter(DialogControls* controls, ProbeOutcome* outcome) {
    showStatus(controls, outcome, "Found Printer - Printer ready");
    enableUpdateControls(controls);
    currentImage = nullptr;
    enable(controls->firmwareCombo, false);
    showCaption(controls, outcome, outcome->reason, false);
    return PROBE_RESULT_UNIDENTIFIED;
}

ProbeResult showReadyPrinter(DialogControls* controls, PrinterData* printer, ProbeRoute route,
                             ProbeOutcome* outcome) {
    if (!printerIdentified) {
        return showUnidentifiedPrinter(controls, outcome);
    }
    showStatus(controls, outcome, "Found Printer - Printer ready");
    enableUpdateControls(controls);
    printer->variant = 1;
    pickFirmwareImage(&currentImage, printer);
    outcome->variantNames = variantNamesForBoard(printer->boardType);
    fillFirmwareCombo(controls->firmwareCombo, outcome->variantNames);
    enable(controls->firmwareCombo, true);
    char caption[CAPTION_SIZE];
    if (formatReadyCaption(printer, route, caption, sizeof caption)) {
        showCaption(controls, outcome, caption, true);
    }
    recordImage(outcome);
    // A raster printer has two images to choose from: the button waits for the user's choice.
    if (printer->language == LANG_RASTER) {
        enable(controls->upgradeButton, false);
        outcome->upgradeEnabled = false;
        show(controls->firmwareCombo, true);
        outcome->variantImages = variantVersionsForBoard(printer->boardType);
        outcome->imageSlot = -1;
        outcome->image[0] = '\0';
    }
    return PROBE_RESULT_READY;
}

ProbeResult showNotReady(DialogControls* controls, ProbeOutcome* outcome) {
    disableUpdateControls(controls);
    outcome->upgradeEnabled = false;
    showStatus(controls, outcome, "Found Printer - Printer NOT ready");
    recordStatusReply(outcome);
    return PROBE_RESULT_NOT_READY;
}

ProbeResult showReadiness(DialogControls* controls, PrinterData* printer, bool ready,
                          ProbeRoute route, ProbeOutcome* outcome) {
    return ready ? showReadyPrinter(controls, printer, route, outcome)
                 : showNotReady(controls, outcome);
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

// The history's last upgrade of this printer, when it did not finish, still names the model this
// device id gives, and its image is still the one this program carries: nothing else is a
// repair, and nothing is guessed.
bool unfinishedUpgradeOf(const ProbeOutcome& outcome, HistoryEntry* entry) {
    if (!outcome.deviceIdRead || outcome.model[0] == '\0' || outcome.address[0] == '\0' ||
        !lastHistoryEntryOf(historyRouteName(outcome.route), outcome.address, entry) ||
        !historyEntryUnfinished(*entry) || strcmp(entry->model, outcome.model) != 0 ||
        entry->slot < 0 || entry->slot >= FIRMWARE_SLOT_COUNT) {
        return false;
    }
    return strcmp(FirmwareCatalogue[entry->slot].version, entry->image) == 0 &&
           strcmp(firmwareBuildRecords[entry->slot].sha256, entry->sha256) == 0;
}

// A printer that does not identify itself, or is not ready, may be one that an upgrade of this
// program left half-written: then its image is offered again, and the upgrade button says so.
void offerRepair(DialogControls* controls, ProbeOutcome* outcome, ProbeResult result) {
    // On the heap: the writer's closing probe runs on a small stack.
    auto entry = std::make_unique<HistoryEntry>();
    if ((result != PROBE_RESULT_NOT_READY && result != PROBE_RESULT_UNIDENTIFIED) ||
        !unfinishedUpgradeOf(*outcome, entry.get())) {
        return;
    }
    repairImageSlot = entry->slot;
    outcome->repair = true;
    copyOutcomeText(outcome->repairStarted, sizeof outcome->repairStarted, entry->started);
    outcome->imageSlot = entry->slot;
    copyOutcomeText(outcome->image, sizeof outcome->image, entry->image);
    char caption[CAPTION_SIZE];
    snprintf(caption, sizeof caption, "Repair: rewrite %s (the last upgrade did not finish)",
             entry->image);
    showCaption(controls, outcome, caption, true);
}

} // namespace

void recordRouteFailure(ProbeOutcome* outcome) {
    copyOutcomeText(outcome->address, sizeof outcome->address, routeFailure.target);
    outcome->error = routeFailure.error;
}

void recordStatusReply(ProbeOutcome* outcome) {
    outcome->statusLength = std::min<uint32_t>(lastStatusReplyLength, sizeof outcome->statusBytes);
    memcpy(outcome->statusBytes, lastStatusReply, outcome->statusLength);
}

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
    ProbeOutcome outcome = startProbe(controls, PROBE_KIND_LOCAL, "Probing for printers");
    // Once the printers are back on their ports for the end of the run, they stay there.
    if (!portsRestored && !SetPortsToFile()) {
        requestRunEnd();
    }
    if (!GetPrinterHandle(&printerHandle, printer)) {
        showNothingFound(controls, &outcome, "Did not find printer");
        enableEthernetControls();
        endProbe(printer, &outcome, PROBE_RESULT_NO_PRINTER);
        return;
    }
    bool idRead = GetPrinterID(printerHandle, printer);
    if (!idRead) {
        showMessage("Can't get printer ID, exiting ");
        requestRunEnd();
    }
    showIdentity(controls, printer, PROBE_LOCAL, idRead, &outcome);
    checkIdentity(printer, idRead, PROBE_LOCAL, &outcome);
    ProbeResult result = showReadiness(controls, printer, isPrinterReady(printerHandle, printer),
                                       PROBE_LOCAL, &outcome);
    closePrinterHandle(printerHandle);
    printerHandle = INVALID_CHANNEL_HANDLE;
    hideEthernetControls(controls);
    copyOutcomeText(outcome.address, sizeof outcome.address, printerPath);
    outcome.route = printer->portType;
    offerRepair(controls, &outcome, result);
    endProbe(printer, &outcome, result);
}

void findEthernetPrinter(DialogControls* controls, PrinterData* printer) {
    findEthernetPrinterAt(controls, printer, &ethernetSettings);
}

void findEthernetPrinterAt(DialogControls* controls, PrinterData* printer,
                           const EthernetSettings* address) {
    ProbeOutcome outcome = startProbe(controls, PROBE_KIND_ETHERNET,
                                      "Probing for printers - Operation may take up to 30 seconds");
    if (!connectEthernet(&printerSocket, address->ipOctet1, address->ipOctet2, address->ipOctet3,
                         address->ipOctet4, address->tcpPort, printer)) {
        showNothingFound(controls, &outcome, "Did not find Ethernet attached printer");
        endProbe(printer, &outcome, PROBE_RESULT_NO_PRINTER);
        return;
    }
    // connectEthernet has set the route, activeConnection with it.
    debugLogFormat("After finding Ethernet port type = %d", printer->portType);
    if (!GetPrinterIDEthernet(printerSocket, printer)) {
        showMessage("Can't get printer ID");
        showNotReady(controls, &outcome);
        closeSocket(printerSocket);
        endProbe(printer, &outcome, PROBE_RESULT_NOT_READY);
        return;
    }
    showIdentity(controls, printer, PROBE_ETHERNET, true, &outcome);
    checkIdentity(printer, true, PROBE_ETHERNET, &outcome);
    ProbeResult result = showReadiness(controls, printer, isPrinterReadyEthernet(printerSocket),
                                       PROBE_ETHERNET, &outcome);
    closeSocket(printerSocket);
    formatEthernetAddress(address->ipOctet1, address->ipOctet2, address->ipOctet3,
                          address->ipOctet4, address->tcpPort, outcome.address,
                          sizeof outcome.address);
    outcome.route = printer->portType;
    offerRepair(controls, &outcome, result);
    endProbe(printer, &outcome, result);
}

void connectWriterClosingProbes() {
    writerClosingProbes = {.local = refreshPrinterData, .ethernet = findEthernetPrinterAt};
}

bool selectFirmwareVariant(DialogControls* controls, PrinterData* printer) {
    // Only a printer this probe identified has firmware to choose from.
    if (!printerIdentified) {
        return false;
    }
    ProbeOutcome outcome = shownProbe;
    int index = userInterfaceService->comboGetSelection(controls->firmwareCombo);
    char caption[CAPTION_SIZE];
    composeVariantCaption(caption, sizeof caption, printer->boardType, index);
    showCaption(controls, &outcome, caption, true);
    printer->variant = variantForSelection(printer->boardType, index);
    bool picked = pickFirmwareImage(&currentImage, printer);
    recordImage(&outcome);
    shownProbe = outcome;
    publishProbeOutcome(outcome);
    return picked;
}
