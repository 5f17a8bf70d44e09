#include "app/update_dialog.h"

#include "app/probe.h"
#include "app/run.h"
#include "app/single_instance.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/status.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "identity/device_id.h"
#include "identity/firmware_catalogue.h"
#include "outcome/outcomes.h"
#include "platform/designated_only.h"
#include "platform/kernel.h"
#include "resources/resource.h"

namespace {

constexpr intptr_t HANDLED = 1; // TRUE
constexpr intptr_t NOT_HANDLED = 0;

intptr_t startDialog(DialogWindow dialog) {
    prepareUpdateDialog(dialog);
    debugLog("WM_INITDIALOG - Calling refreshPrinterData");
    refreshPrinterData(&dialogControls, &printerData);
    debugLog("WM_INITDIALOG - After calling refreshPrinterData");
    return HANDLED;
}

void exitDialog(DialogWindow dialog, int controlId) {
    if (updateInProgress) {
        showMessage("Cannot exit while printer FW is being updated");
        return;
    }
    restorePortsOnce();
    ClearInstanceMutex();
    userInterfaceService->endDialog(dialog, controlId);
    userInterfaceService->postQuit(0);
}

void upgrade(DialogWindow, int) {
    upgradePrinterFirmware();
}

void refresh(DialogWindow, int) {
    refreshPrinterData(&dialogControls, &printerData);
}

// "STATUS": a look at the local printer's readiness, reported only when it is not ready. The
// box says "Not Ready" whether no printer was found or the one found is not ready; the record
// tells the two apart.
void queryStatus(DialogWindow, int) {
    ProbeOutcome outcome = beginProbeOutcome(PROBE_KIND_STATUS);
    if (!GetPrinterHandle(&printerHandle, &printerData)) {
        showMessage("Not Ready");
        outcome.result = PROBE_RESULT_NO_PRINTER;
        recordRouteFailure(&outcome);
        publishProbeOutcome(outcome);
        return;
    }
    outcome.route = printerData.portType;
    outcome.port = portLabel(printerData.portType);
    bool ready = isPrinterReady(printerHandle, &printerData);
    if (!ready) {
        showMessage("Not Ready");
        recordStatusReply(&outcome);
    }
    closePrinterHandle(printerHandle);
    printerHandle = INVALID_CHANNEL_HANDLE;
    outcome.result = ready ? PROBE_RESULT_READY : PROBE_RESULT_NOT_READY;
    publishProbeOutcome(outcome);
}

// The stored versions, in one box captioned "Versions".
void displayVersions(DialogWindow, int) {
    char text[INSTALLED_VERSIONS_TEXT_SIZE];
    composeInstalledVersions(text, sizeof text);
    userInterfaceService->messageBox(text, "Versions", MESSAGE_BOX_OK);
}

void findEthernet(DialogWindow, int) {
    // closeSocket leaves an invalid handle alone, so a socket is never closed twice.
    closeSocket(printerSocket);
    findEthernetPrinter(&dialogControls, &printerData);
}

// One button of the dialog. A command that works on the printer or its globals waits for the
// writer: it is ignored while an upgrade runs and until the writer's closing probe is done.
struct DialogCommand {
    DesignatedOnly designatedOnly{};
    int controlId;
    bool waitsForWriter;
    void (*run)(DialogWindow dialog, int controlId);
};

const DialogCommand DIALOG_COMMANDS[] = {
    {.controlId = DIALOG_COMMAND_CANCEL, .waitsForWriter = false, .run = exitDialog},
    {.controlId = IDC_EXIT_BUTTON, .waitsForWriter = false, .run = exitDialog},
    {.controlId = IDC_UPGRADE_BUTTON, .waitsForWriter = true, .run = upgrade},
    {.controlId = IDC_REFRESH_BUTTON, .waitsForWriter = true, .run = refresh},
    // "STATUS" opens the local printer and writes printerHandle, which the writer closes.
    {.controlId = IDC_STATUS_BUTTON, .waitsForWriter = true, .run = queryStatus},
    {.controlId = IDC_DISPLAY_VERSIONS_BUTTON, .waitsForWriter = true, .run = displayVersions},
    {.controlId = IDC_FIND_ETHERNET_BUTTON, .waitsForWriter = true, .run = findEthernet},
};

intptr_t runCommand(DialogWindow dialog, int controlId) {
    for (const DialogCommand& command : DIALOG_COMMANDS) {
        if (command.controlId != controlId) {
            continue;
        }
        if (!command.waitsForWriter || !writerBusy()) {
            command.run(dialog, controlId);
        }
        return HANDLED;
    }
    return NOT_HANDLED;
}

// The combo box and the address edits write printerData.variant, currentImage and
// ethernetSettings, which the writer's closing probe uses: like the buttons, they wait for it.
intptr_t handleCommand(DialogWindow dialog, int notification, int controlId) {
    switch (notification) {
    case CONTROL_NOTIFY_CLICKED:
        return runCommand(dialog, controlId);
    case CONTROL_NOTIFY_SELECTION_CHANGED:
        if (controlId != IDC_FIRMWARE_COMBO) {
            return NOT_HANDLED;
        }
        if (!writerBusy()) {
            selectFirmwareVariant(&dialogControls, &printerData);
        }
        return HANDLED;
    case CONTROL_NOTIFY_EDIT_CHANGED: {
        char* field = ethernetFieldOfEdit(controlId);
        if (field == nullptr) {
            return NOT_HANDLED;
        }
        if (!writerBusy()) {
            readEditField(dialog, controlId, field);
        }
        return HANDLED;
    }
    default:
        return HANDLED;
    }
}

} // namespace

void prepareUpdateDialog(DialogWindow dialog) {
    connectWriterClosingProbes();
    bindDialogControls(dialog);
    disableUpdateControls(&dialogControls);
    initEthernetDefaults();
    userInterfaceService->setText(dialogControls.modeText, "UPGRADE Firmware");
    userInterfaceService->show(dialogControls.printLogosButton, false);
    userInterfaceService->show(dialogControls.clearLogosButton, false);
}

intptr_t updateDialogProc(DialogWindow dialog, uint32_t message, uintptr_t firstParameter,
                          intptr_t) {
    switch (message) {
    case DIALOG_MESSAGE_INIT:
        return startDialog(dialog);
    case DIALOG_MESSAGE_COMMAND:
        return handleCommand(dialog, static_cast<int>((firstParameter >> 16) & 0xFFFF),
                             static_cast<int>(firstParameter & 0xFFFF));
    default:
        return NOT_HANDLED;
    }
}
