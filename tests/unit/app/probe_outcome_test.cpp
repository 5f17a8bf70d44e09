// What each probe leaves in the dialog, row by row of its outcomes, and the channels it opens
// and closes.

#include "app/probe.h"
#include "app/run.h"
#include "connection/device_id_read.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "identity/device_id.h"
#include "tests/unit/app/probe_test_support.h"

#include <gtest/gtest.h>

static const char READY_G_PRINTER[] = "MFG:SIM;MDL:VRE G;FWV:V2.02 ;";
static const Texts G_PRINTER_IDENTITY_USB = {"VRE G", "USB", "V2.02", "G", "LOGIC BD II ROHS"};
static const Texts TEMPLATE_IDENTITY = {"", "", "", "", ""};

class ProbeShown : public DialogProbeTest {
  protected:
    ProbeShown() { printer.setDeviceId(READY_G_PRINTER); }

    void refresh() { refreshPrinterData(&dialogControls, &printerData); }
    void findOverTcp() { findEthernetPrinter(&dialogControls, &printerData); }

    void setNotReady() {
        SimFaults faults;
        faults.notReady = true;
        printer.setFaults(faults);
    }

    void expectComboHiddenAndDisabled() {
        EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
        EXPECT_FALSE(dialog.enabled(IDC_FIRMWARE_COMBO));
    }

    bool quitRequested() { return dialogModelQuitRequested(nullptr); }
};

// --- The local probe ---

TEST_F(ProbeShown, NoLocalPrinterEnablesTheEthernetControlsAndLeavesTheRest) {
    auto updateBefore = states(dialog, UPDATE_CONTROLS);
    refresh();
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Did not find printer");
    EXPECT_EQ(identityTexts(dialog), TEMPLATE_IDENTITY);
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), updateBefore);
    expectComboHiddenAndDisabled();
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), allStates(ETHERNET_CONTROLS.size(), true, true));
    EXPECT_TRUE(dialog.shown().empty());
    EXPECT_FALSE(quitRequested());
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
}

TEST_F(ProbeShown, NothingFoundAfterAPrinterKeepsTheEarlierDisplay) {
    attachLocal(usbPath());
    refresh();
    ASSERT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    auto updateBefore = states(dialog, UPDATE_CONTROLS);
    std::string captionBefore = dialog.text(IDC_UPGRADE_BUTTON);

    detachLocal();
    refresh();

    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Did not find printer");
    EXPECT_EQ(identityTexts(dialog), G_PRINTER_IDENTITY_USB);
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), updateBefore);
    EXPECT_EQ(dialog.text(IDC_UPGRADE_BUTTON), captionBefore);
    expectComboHiddenAndDisabled();
    // Enabled, but the earlier probe hid them for the rest of the run.
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), allStates(ETHERNET_CONTROLS.size(), true, false));
}

TEST_F(ProbeShown, LocalPrinterNotReadyDisablesTheUpdateControls) {
    setNotReady();
    attachLocal("LPT1:");
    refresh();
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer NOT ready");
    EXPECT_EQ(identityTexts(dialog),
              (Texts{"VRE G", "PARALLEL", "V2.02", "G", "LOGIC BD II ROHS"}));
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), allStates(UPDATE_CONTROLS.size(), false, true));
    EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), allStates(ETHERNET_CONTROLS.size(), false, false));
}

TEST_F(ProbeShown, RasterPrinterNotReadyHasItsComboEnabledButHidden) {
    printer.setDeviceId("MDL:VRK-54;FWV:V2.02a ;");
    setNotReady();
    attachLocal(usbPath());
    refresh();
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer NOT ready");
    EXPECT_TRUE(dialog.enabled(IDC_FIRMWARE_COMBO));
    EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
}

TEST_F(ProbeShown, LocalPrinterReadyOnUsbAndParallel) {
    const struct {
        std::string path;
        const char* port;
    } routes[] = {{usbPath(), "USB"}, {"LPT1:", "PARALLEL"}};
    for (const auto& route : routes) {
        SCOPED_TRACE(route.path);
        detachLocal();
        attachLocal(route.path);
        size_t closes = countEvents(SIM_EVENT_CLOSED);
        refresh();
        EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
        EXPECT_EQ(dialog.text(IDC_PORT_TEXT), route.port);
        EXPECT_EQ(states(dialog, UPDATE_CONTROLS), allStates(UPDATE_CONTROLS.size(), true, true));
        EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboSelection, 0);
        EXPECT_TRUE(dialog.enabled(IDC_FIRMWARE_COMBO));
        EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
        EXPECT_EQ(states(dialog, ETHERNET_CONTROLS),
                  allStates(ETHERNET_CONTROLS.size(), false, false));
        // Every conversation the probe opened is closed again, and the handle marked closed.
        EXPECT_EQ(countEvents(SIM_EVENT_CLOSED) - closes, countEvents(SIM_EVENT_OPENED) - closes);
        EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
        EXPECT_TRUE(dialog.shown().empty());
    }
}

TEST_F(ProbeShown, TheFirstLocalProbeMovesTheSpoolersPrintersOnce) {
    refresh();
    EXPECT_EQ(spooledPort(), "FILE:");
    attachLocal(usbPath());
    refresh();
    EXPECT_EQ(portChanges(), 1u);
}

// --- The local probe's quit path ---

TEST_F(ProbeShown, UnreadableDeviceIdAsksForTheEndAndTheProbeCarriesOn) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    attachLocal(usbPath());
    int cleanupsBefore = network->cleanups();

    refresh();

    Texts boxes = dialog.texts();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].rfind("GetPrinterID - Error = ", 0), 0u) << boxes[0];
    EXPECT_EQ(boxes[1], "Can't get printer ID, exiting ");
    int exitCode = -1;
    EXPECT_TRUE(dialogModelQuitRequested(&exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(runEndRequested);
    EXPECT_EQ(network->cleanups(), cleanupsBefore + 1);
    // The probe went on: identity from what deviceId held, the handle closed, the Ethernet
    // controls hidden.
    EXPECT_EQ(dialog.text(IDC_PORT_TEXT), "USB");
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer NOT ready");
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    EXPECT_FALSE(dialog.visible(IDC_ETHERNET_GROUP));
    // The ports are still moved: the front end puts them back once the loop has ended.
    EXPECT_EQ(spooledPort(), "FILE:");
}

TEST_F(ProbeShown, ADeviceIdWithoutModelOrVersionShowsBothMissingKeyBoxes) {
    printer.setDeviceId("MFG:SIM;CMD:G;");
    attachLocal(usbPath());

    refresh();

    Texts boxes = dialog.texts();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], DEVICE_ID_KEY_MISSING_MESSAGE);
    EXPECT_EQ(boxes[1], DEVICE_ID_KEY_MISSING_MESSAGE);
    EXPECT_EQ(dialog.text(IDC_VERSION_TEXT), "Not found");
    EXPECT_EQ(dialog.text(IDC_PORT_TEXT), "USB");
}

TEST_F(ProbeShown, TheQuitPathPutsThePortsBackExactlyOnce) {
    SimFaults faults;
    faults.closeOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    attachLocal(usbPath());
    refresh();
    ASSERT_TRUE(runEndRequested);

    restorePortsOnce(); // the front end, once its loop has ended
    restorePortsOnce(); // a second road to the end
    EXPECT_EQ(spooledPort(), SPOOLED_PRINTER_PORT);
    EXPECT_EQ(portChanges(), 2u); // moved once, put back once

    // A probe still running (the writer's closing probe) does not move them again.
    printer.setFaults(SimFaults{});
    refresh();
    EXPECT_EQ(spooledPort(), SPOOLED_PRINTER_PORT);
    EXPECT_EQ(portChanges(), 2u);
}

// --- The probe over TCP ---

TEST_F(ProbeShown, NoPrinterOverTcpEnablesOnlyTheButtonAndTheGroup) {
    uint16_t port = server.port();
    server.stop();
    snprintf(ethernetSettings.tcpPort, sizeof ethernetSettings.tcpPort, "%u", port);
    auto updateBefore = states(dialog, UPDATE_CONTROLS);

    findOverTcp();

    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Did not find Ethernet attached printer");
    EXPECT_EQ(identityTexts(dialog), TEMPLATE_IDENTITY);
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), updateBefore);
    expectComboHiddenAndDisabled();
    auto ethernet = allStates(ETHERNET_CONTROLS.size(), false, true);
    ethernet[0].first = true; // the group
    ethernet[1].first = true; // "Find Ethernet Printer"
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), ethernet);
    EXPECT_TRUE(dialog.shown().empty());
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
}

TEST_F(ProbeShown, DeviceIdNotReadOverTcpShowsNotReadyAndKeepsTheIdentity) {
    SimFaults faults;
    faults.silentOn[SIM_COMMAND_DEVICE_ID] = true;
    printer.setFaults(faults);
    auto ethernetBefore = states(dialog, ETHERNET_CONTROLS);

    findOverTcp();

    EXPECT_EQ(dialog.texts(), (Texts{"Can't get printer ID"}));
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer NOT ready");
    EXPECT_EQ(identityTexts(dialog), TEMPLATE_IDENTITY);
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), allStates(UPDATE_CONTROLS.size(), false, true));
    expectComboHiddenAndDisabled();
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), ethernetBefore);
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    EXPECT_TRUE(waitForEvents(SIM_EVENT_CLOSED, 1));
    EXPECT_FALSE(quitRequested());
}

TEST_F(ProbeShown, PrinterOverTcpNotReady) {
    setNotReady();
    findOverTcp();
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer NOT ready");
    EXPECT_EQ(identityTexts(dialog),
              (Texts{"VRE G", "ETHERNET", "V2.02", "G", "LOGIC BD II ROHS"}));
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), allStates(UPDATE_CONTROLS.size(), false, true));
    EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), allStates(ETHERNET_CONTROLS.size(), false, true));
}

TEST_F(ProbeShown, PrinterOverTcpReadyLeavesTheEthernetControlsAndClosesTheSocket) {
    findOverTcp();
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    EXPECT_EQ(states(dialog, UPDATE_CONTROLS), allStates(UPDATE_CONTROLS.size(), true, true));
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboSelection, 0);
    EXPECT_TRUE(dialog.enabled(IDC_FIRMWARE_COMBO));
    EXPECT_EQ(states(dialog, ETHERNET_CONTROLS), allStates(ETHERNET_CONTROLS.size(), false, true));
    EXPECT_EQ(activeConnection, PORT_TYPE_ETHERNET);
    EXPECT_TRUE(kernel.logged("After finding Ethernet port type = 3"));
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    EXPECT_TRUE(waitForEvents(SIM_EVENT_CLOSED, 1));
    // The spooler is the local probe's business only.
    EXPECT_EQ(spooler.calls().size(), 0u);
}

TEST_F(ProbeShown, ProbingStartsWithTheComboHiddenAndTheRouteStatusText) {
    const struct {
        void (*probe)(DialogControls*, PrinterData*);
        const char* text;
    } probes[] = {
        {refreshPrinterData, "Probing for printers"},
        {findEthernetPrinter, "Probing for printers - Operation may take up to 30 seconds"}};
    for (const auto& entry : probes) {
        SCOPED_TRACE(entry.text);
        dialog.clearChanges();
        entry.probe(&dialogControls, &printerData);
        std::vector<DialogChange> changes = dialog.changes();
        ASSERT_GE(changes.size(), 3u);
        EXPECT_EQ(changes[0].controlId, IDC_FIRMWARE_COMBO);
        EXPECT_EQ(changes[0].kind, DIALOG_CHANGE_ENABLED);
        EXPECT_EQ(changes[1].controlId, IDC_PROBE_STATUS_TEXT);
        EXPECT_EQ(changes[2].controlId, IDC_FIRMWARE_COMBO);
        EXPECT_EQ(changes[2].kind, DIALOG_CHANGE_VISIBLE);
    }
}

// --- The local discovery over the simulator bound to a device path ---

TEST_F(ProbeShown, GetPrinterHandleFindsTheSimulatorOnItsDevicePath) {
    const struct {
        std::string path;
        int32_t portType;
    } routes[] = {{UsbDeviceTable[USB_DEVICE_UNIT_COUNT - 1].devicePath, PORT_TYPE_USB},
                  {"LPT1:", PORT_TYPE_PARALLEL},
                  {"LPT3:", PORT_TYPE_PARALLEL}};
    for (const auto& route : routes) {
        SCOPED_TRACE(route.path);
        detachLocal();
        attachLocal(route.path);
        ASSERT_TRUE(GetPrinterHandle(&printerHandle, &printerData));
        EXPECT_EQ(printerData.portType, route.portType);
        EXPECT_EQ(activeConnection, route.portType);
        EXPECT_TRUE(GetPrinterID(printerHandle, &printerData));
        EXPECT_STREQ(printerData.deviceId, READY_G_PRINTER);
        EXPECT_TRUE(closePrinterHandle(printerHandle));
    }
}
