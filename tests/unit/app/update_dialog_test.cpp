// The update dialog's procedure over the in-memory dialog: its start, its commands and the
// notifications it takes, the refusals while an upgrade runs, and the end of the run.

#include "app/update_dialog.h"

#include "app/run.h"
#include "app/single_instance.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_writer.h"
#include "identity/firmware_catalogue.h"
#include "resources/resource.h"
#include "tests/doubles/dialog_probe_test.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

typedef std::vector<std::string> Texts;

static const char MARKER_NAME[] = "KQ_TOOLS";
static const char READY_RASTER_BOARD_II[] = "MDL:VRK-54;FWV:V2.02a ;";

class UpdateDialog : public DialogProbeTest {
  protected:
    UpdateDialog() {
        // The model hands each notification to the procedure, as the Windows dialog does.
        dialogModelSetCommandHandler(
            [this](int controlId, int notification) { command(controlId, notification); });
    }

    intptr_t start() { return updateDialogProc(dialog.window(), DIALOG_MESSAGE_INIT, 0, 0); }

    intptr_t command(int controlId, int notification = CONTROL_NOTIFY_CLICKED) {
        uintptr_t first = (static_cast<uintptr_t>(notification) << 16) | controlId;
        return updateDialogProc(dialog.window(), DIALOG_MESSAGE_COMMAND, first, 0);
    }

    // Starts the dialog with no local printer, so the address edits can be typed into, and
    // points them at the simulator.
    void startForEthernet() {
        start();
        const std::pair<int, std::string> edits[] = {{IDC_IP_OCTET1_EDIT, "127"},
                                                     {IDC_IP_OCTET2_EDIT, "0"},
                                                     {IDC_IP_OCTET3_EDIT, "0"},
                                                     {IDC_IP_OCTET4_EDIT, "1"},
                                                     {IDC_TCP_PORT_EDIT, portText()}};
        for (const auto& edit : edits) {
            ASSERT_TRUE(dialogModelType(edit.first, edit.second.c_str()));
        }
    }

    bool ended(intptr_t* result = nullptr) { return dialog.dialogEnded(result); }
    bool quit() { return dialogModelQuitRequested(nullptr); }
};

// --- Start ---

TEST_F(UpdateDialog, StartRunsTheFirstProbeBeforeTheDialogIsShown) {
    attachLocal(usbPath());
    EXPECT_EQ(start(), 1);

    EXPECT_EQ(dialog.text(IDC_MODE_TEXT), "UPGRADE Firmware");
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    EXPECT_EQ(dialog.text(IDC_MODEL_TEXT), "VRE G SIM");
    for (int logos : {IDC_PRINT_LOGOS_BUTTON, IDC_CLEAR_LOGOS_BUTTON}) {
        EXPECT_FALSE(dialog.visible(logos));
        EXPECT_FALSE(dialog.enabled(logos));
    }
    Texts log = kernel.logLines();
    auto calling = std::find(log.begin(), log.end(), "WM_INITDIALOG - Calling refreshPrinterData");
    ASSERT_NE(calling, log.end());
    EXPECT_EQ(*(calling + 1), "refreshPrinterData - Entry");
    EXPECT_EQ(log.back(), "WM_INITDIALOG - After calling refreshPrinterData");
}

TEST_F(UpdateDialog, StartBindsDisablesSetsTheAddressAndHidesTheLogoButtonsInOrder) {
    start();
    std::vector<DialogChange> changes = dialog.changes();
    const std::vector<int> firstEnables = {IDC_PRINT_LOGOS_BUTTON,  IDC_CLEAR_LOGOS_BUTTON,
                                           IDC_UPGRADE_BUTTON,      IDC_PROGRAM_STATUS_TEXT,
                                           IDC_PROGRAM_STATE_TEXT,  IDC_PROGRAMMING_GROUP,
                                           IDC_PROGRAM_STATE_LABEL, IDC_PROGRAM_STATUS_LABEL};
    ASSERT_GT(changes.size(), firstEnables.size() + 9);
    for (size_t i = 0; i < firstEnables.size(); ++i) {
        EXPECT_EQ(changes[i].controlId, firstEnables[i]) << i;
        EXPECT_EQ(changes[i].kind, DIALOG_CHANGE_ENABLED) << i;
    }
    size_t next = firstEnables.size();
    for (size_t edit = 0; edit < 5; ++edit, ++next) {
        EXPECT_EQ(changes[next].kind, DIALOG_CHANGE_TEXT);
        EXPECT_NE(ethernetFieldOfEdit(changes[next].controlId), nullptr);
    }
    EXPECT_EQ(changes[next].controlId, IDC_MODE_TEXT);
    EXPECT_EQ(changes[next + 1].controlId, IDC_PRINT_LOGOS_BUTTON);
    EXPECT_EQ(changes[next + 1].kind, DIALOG_CHANGE_VISIBLE);
    EXPECT_EQ(changes[next + 2].controlId, IDC_CLEAR_LOGOS_BUTTON);
    EXPECT_EQ(changes[next + 3].controlId, IDC_FIRMWARE_COMBO); // the probe starts

    // The edits and their fields hold the default address.
    EXPECT_EQ(dialog.text(IDC_IP_OCTET1_EDIT), "192");
    EXPECT_EQ(dialog.text(IDC_TCP_PORT_EDIT), "10001");
    EXPECT_STREQ(ethernetSettings.ipOctet1, "192");
    EXPECT_STREQ(ethernetSettings.tcpPort, "10001");
}

TEST_F(UpdateDialog, OtherMessagesAreLeftToThePlatform) {
    EXPECT_EQ(updateDialogProc(dialog.window(), 0x0010 /* WM_CLOSE */, 0, 0), 0);
    EXPECT_EQ(updateDialogProc(dialog.window(), 0x0112 /* WM_SYSCOMMAND */, IDC_EXIT_BUTTON, 0), 0);
    EXPECT_FALSE(ended());
}

// --- Exit ---

class UpdateDialogExit : public UpdateDialog {
  protected:
    UpdateDialogExit() {
        CreateSingleInstance();
        start(); // moves the spooler's printer to "FILE:"
        dialog.clearChanges();
    }

    // Printers back on their ports, then the marker released, then the dialog ended with the
    // command as its result, then the quit request.
    void expectExitSequence(int controlId) {
        ASSERT_EQ(spooledPort(), "FILE:");
        kernel.clearLog();
        std::vector<std::string> steps;
        dialogModelSetObserver([&](const DialogChange& change) {
            if (change.kind == DIALOG_CHANGE_DIALOG_ENDED) {
                steps.push_back("ended, port " + spooledPort() +
                                (kernel.markerHeld(MARKER_NAME) ? ", marker held" : ""));
            } else if (change.kind == DIALOG_CHANGE_QUIT) {
                steps.push_back("quit");
            }
        });

        EXPECT_EQ(command(controlId), 1);

        EXPECT_EQ(steps, (Texts{std::string("ended, port ") + SPOOLED_PRINTER_PORT, "quit"}));
        intptr_t result = 0;
        EXPECT_TRUE(ended(&result));
        EXPECT_EQ(result, controlId);
        int exitCode = -1;
        EXPECT_TRUE(dialogModelQuitRequested(&exitCode));
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(instanceMutex, NO_MARKER);
        Texts log = kernel.logLines();
        auto restore = std::find(log.begin(), log.end(), "RestorePortsToOriginal - Entry");
        auto release = std::find(log.begin(), log.end(), "ClearInstanceMutex - Entry");
        EXPECT_LT(restore, release);
        EXPECT_NE(release, log.end());
        EXPECT_EQ(portChanges(), 2u); // moved once, put back once
        EXPECT_TRUE(dialog.shown().empty());
    }
};

TEST_F(UpdateDialogExit, ExitRunsTheExitSequenceInOrder) {
    expectExitSequence(IDC_EXIT_BUTTON);
}

TEST_F(UpdateDialogExit, EscapeAndTheCloseBoxBehaveAsExit) {
    expectExitSequence(DIALOG_COMMAND_CANCEL);
}

TEST_F(UpdateDialogExit, IsRefusedWhileAnUpgradeRuns) {
    updateInProgress = true;
    for (int controlId : {DIALOG_COMMAND_CANCEL, IDC_EXIT_BUTTON}) {
        EXPECT_EQ(command(controlId), 1);
    }
    EXPECT_EQ(dialog.texts(), (Texts{"Cannot exit while printer FW is being updated",
                                     "Cannot exit while printer FW is being updated"}));
    EXPECT_FALSE(dialog.shown()[0].hasCaption);
    EXPECT_FALSE(ended());
    EXPECT_FALSE(quit());
    EXPECT_EQ(spooledPort(), "FILE:");
    EXPECT_TRUE(kernel.markerHeld(MARKER_NAME));
}

TEST_F(UpdateDialogExit, AfterTheQuitPathThePortsAreNotPutBackASecondTime) {
    restorePortsOnce(); // the road a probe's quit request takes, at the front end's end
    ASSERT_EQ(spooledPort(), SPOOLED_PRINTER_PORT);
    command(IDC_EXIT_BUTTON);
    restorePortsOnce();
    EXPECT_EQ(portChanges(), 2u);
    Texts log = kernel.logLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "RestorePortsToOriginal - Entry"), 1);
}

TEST_F(UpdateDialog, AProbeThatCannotReadTheDeviceIdEndsTheRunWithThePortsPutBackOnce) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    attachLocal(usbPath());
    start();
    EXPECT_TRUE(quit());
    EXPECT_FALSE(ended()); // the platform's loop ends the dialog when it meets the quit
    EXPECT_EQ(spooledPort(), "FILE:");
    restorePortsOnce(); // the front end, once its dialog call has returned
    restorePortsOnce();
    EXPECT_EQ(spooledPort(), SPOOLED_PRINTER_PORT);
    EXPECT_EQ(portChanges(), 2u);
}

// --- Commands and notifications ---

TEST_F(UpdateDialog, EnterAndTheLogoButtonsAndUnknownIdentifiersDoNothing) {
    start();
    dialog.clearChanges();
    kernel.clearLog();
    for (int controlId : {DIALOG_COMMAND_OK, IDC_PRINT_LOGOS_BUTTON, IDC_CLEAR_LOGOS_BUTTON,
                          IDC_FIRMWARE_COMBO, IDC_TCP_PORT_EDIT, 4000}) {
        EXPECT_EQ(command(controlId), 0) << controlId;
    }
    EXPECT_TRUE(dialog.changes().empty());
    EXPECT_TRUE(dialog.shown().empty());
    EXPECT_TRUE(kernel.logLines().empty());
}

TEST_F(UpdateDialog, ASelectionChangeOfTheFirmwareListPicksTheVariantOnce) {
    printer.setDeviceId(READY_RASTER_BOARD_II);
    attachLocal(usbPath());
    start();
    dialog.clearChanges();

    ASSERT_TRUE(dialogModelSelect(IDC_FIRMWARE_COMBO, 1));
    EXPECT_EQ(printerData.variant, 2);
    EXPECT_EQ(dialog.text(IDC_UPGRADE_BUTTON),
              "Update VRK-54 printer to V2.01b LOGIC BD II (V2.01b)?");
    EXPECT_TRUE(dialog.enabled(IDC_UPGRADE_BUTTON));
    size_t captionChanges = 0;
    for (const DialogChange& change : dialog.changes()) {
        captionChanges +=
            change.controlId == IDC_UPGRADE_BUTTON && change.kind == DIALOG_CHANGE_TEXT;
    }
    EXPECT_EQ(captionChanges, 1u);

    // Choosing the entry already selected is no change.
    dialog.clearChanges();
    EXPECT_FALSE(dialogModelSelect(IDC_FIRMWARE_COMBO, 1));
    EXPECT_EQ(dialog.changes().size(), 0u);
}

// The writer's closing probe writes variant, currentImage and uses the address: the combo box
// and the address edits leave them alone until it is done.
TEST_F(UpdateDialog, TheComboAndTheAddressEditsWaitForTheWriter) {
    start(); // no local printer: the address edits are enabled
    updateInProgress = true;
    ASSERT_TRUE(dialogModelType(IDC_IP_OCTET4_EDIT, "77"));
    EXPECT_STREQ(ethernetSettings.ipOctet4, "1");

    printer.setDeviceId(READY_RASTER_BOARD_II);
    attachLocal(usbPath());
    updateInProgress = false;
    EXPECT_EQ(command(IDC_REFRESH_BUTTON), 1);
    updateInProgress = true;
    ASSERT_TRUE(dialogModelSelect(IDC_FIRMWARE_COMBO, 1));
    EXPECT_EQ(printerData.variant, 1);
    EXPECT_EQ(currentImage, &FirmwareCatalogue[9]);
}

TEST_F(UpdateDialog, OtherComboNotificationsDoNothing) {
    printer.setDeviceId(READY_RASTER_BOARD_II);
    attachLocal(usbPath());
    start();
    dialog.clearChanges();
    // Drop-down, close-up, focus gained and lost: handled, nothing done.
    for (int notification : {7, 8, 3, 4}) {
        EXPECT_EQ(command(IDC_FIRMWARE_COMBO, notification), 1) << notification;
    }
    // A selection change reported by another control is not the firmware list's.
    EXPECT_EQ(command(IDC_UPGRADE_BUTTON, CONTROL_NOTIFY_SELECTION_CHANGED), 0);
    EXPECT_TRUE(dialog.changes().empty());
    EXPECT_EQ(printerData.variant, 1);
}

TEST_F(UpdateDialog, EveryEditChangeUpdatesItsField) {
    start(); // no local printer: the address edits are enabled
    for (int controlId : {IDC_IP_OCTET4_EDIT, IDC_IP_OCTET3_EDIT, IDC_IP_OCTET2_EDIT,
                          IDC_IP_OCTET1_EDIT, IDC_TCP_PORT_EDIT}) {
        std::string typed = std::to_string(controlId % 100);
        ASSERT_TRUE(dialogModelType(controlId, typed.c_str()));
    }
    EXPECT_EQ(
        (Texts{ethernetSettings.ipOctet1, ethernetSettings.ipOctet2, ethernetSettings.ipOctet3,
               ethernetSettings.ipOctet4, ethernetSettings.tcpPort}),
        (Texts{"37", "36", "35", "34", "38"}));
    // An emptied edit keeps its field; a change reported by another control is not an edit's.
    ASSERT_TRUE(dialogModelType(IDC_TCP_PORT_EDIT, ""));
    EXPECT_STREQ(ethernetSettings.tcpPort, "38");
    EXPECT_EQ(command(IDC_PROBE_STATUS_TEXT, CONTROL_NOTIFY_EDIT_CHANGED), 0);
}

TEST_F(UpdateDialog, OtherNotificationCodesAreHandledAndDoNothing) {
    start();
    dialog.clearChanges();
    EXPECT_EQ(command(IDC_EXIT_BUTTON, 0x100 /* EN_SETFOCUS */), 1);
    EXPECT_EQ(command(IDC_IP_OCTET1_EDIT, 0x400 /* EN_UPDATE */), 1);
    EXPECT_FALSE(ended());
    EXPECT_TRUE(dialog.changes().empty());
}

// --- Commands that wait for the writer ---

TEST_F(UpdateDialog, PrinterCommandsAreIgnoredWhileAnUpgradeRuns) {
    startForEthernet();
    ASSERT_TRUE(connectToPrinter()); // the writer's socket
    // The printer records the connection on its own thread; wait for it before counting.
    ASSERT_TRUE(waitForEvents(SIM_EVENT_OPENED, 1));
    SocketHandle writerSocket = printerSocket;
    attachLocal(usbPath());
    dialog.clearChanges();
    size_t spoolerCalls = spooler.calls().size();
    size_t printerEvents = printer.events().size();
    kernel.clearLog();
    updateInProgress = true;

    for (int controlId : {IDC_UPGRADE_BUTTON, IDC_REFRESH_BUTTON, IDC_DISPLAY_VERSIONS_BUTTON,
                          IDC_FIND_ETHERNET_BUTTON}) {
        EXPECT_EQ(command(controlId), 1) << controlId;
    }

    EXPECT_TRUE(dialog.changes().empty());
    EXPECT_TRUE(dialog.shown().empty());
    EXPECT_EQ(spooler.calls().size(), spoolerCalls);
    EXPECT_EQ(printer.events().size(), printerEvents);
    EXPECT_EQ(printerSocket, writerSocket);
    EXPECT_TRUE(network->closed().empty());
    EXPECT_TRUE(kernel.logLines().empty());
}

TEST_F(UpdateDialog, FindClosesASocketStillOpenThenProbes) {
    startForEthernet();
    ASSERT_TRUE(connectToPrinter());
    SocketHandle leftOpen = printerSocket;
    ASSERT_TRUE(waitForEvents(SIM_EVENT_OPENED, 1));

    EXPECT_EQ(command(IDC_FIND_ETHERNET_BUTTON), 1);

    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    std::vector<SocketHandle> closed = network->closed();
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0], leftOpen);
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    // Pressed again: nothing is left open, so only the new probe's socket is closed.
    command(IDC_FIND_ETHERNET_BUTTON);
    EXPECT_EQ(network->closed().size(), 3u);
}

TEST_F(UpdateDialog, RefreshAndDisplayVersionsRunWhenNoUpgradeRuns) {
    start();
    attachLocal(usbPath());
    EXPECT_EQ(command(IDC_REFRESH_BUTTON), 1);
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    EXPECT_EQ(command(IDC_DISPLAY_VERSIONS_BUTTON), 1);
    ASSERT_EQ(dialog.shown().size(), 1u);
    EXPECT_EQ(dialog.shown()[0].caption, "Versions");
    char versions[INSTALLED_VERSIONS_TEXT_SIZE];
    composeInstalledVersions(versions, sizeof versions);
    EXPECT_EQ(dialog.shown()[0].text, versions);
}

// --- STATUS ---

TEST_F(UpdateDialog, StatusSaysNotReadyForNoPrinterOrAPrinterNotReady) {
    start();
    const struct {
        const char* name;
        bool attached;
        bool notReady;
        Texts boxes;
    } cases[] = {
        {"no printer", false, false, {"Not Ready"}},
        {"not ready", true, true, {"Not Ready"}},
        {"ready", true, false, {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        detachLocal();
        if (row.attached) {
            attachLocal(usbPath());
        }
        SimFaults faults;
        faults.notReady = row.notReady;
        printer.setFaults(faults);
        dialog.clear();
        size_t opened = countEvents(SIM_EVENT_OPENED);
        size_t closes = countEvents(SIM_EVENT_CLOSED);

        EXPECT_EQ(command(IDC_STATUS_BUTTON), 1);

        EXPECT_EQ(dialog.texts(), row.boxes);
        EXPECT_EQ(countEvents(SIM_EVENT_CLOSED) - closes, countEvents(SIM_EVENT_OPENED) - opened);
        EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    }
    // During an upgrade it leaves the printer, and printerHandle, to the writer.
    updateInProgress = true;
    dialog.clear();
    size_t opened = countEvents(SIM_EVENT_OPENED);
    EXPECT_EQ(command(IDC_STATUS_BUTTON), 1);
    EXPECT_EQ(dialog.texts(), Texts{});
    EXPECT_EQ(countEvents(SIM_EVENT_OPENED), opened);
}
