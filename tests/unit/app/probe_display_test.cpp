// What a probe that finds a ready printer shows, on both routes: the identity texts, the upgrade
// button's caption, the firmware combo box, and what a change of its selection does.

#include "app/probe.h"
#include "identity/firmware_catalogue.h"
#include "identity/firmware_selection.h"
#include "tests/unit/app/probe_test_support.h"

#include <gtest/gtest.h>
#include <string>

enum Route { LOCAL_ROUTE, TCP_ROUTE };

struct ReadyPrinterCase {
    const char* deviceId;
    const char* model;
    const char* version;
    const char* language;
    const char* localBoard;
    const char* tcpBoard;
    const char* localCaption; // %s: the chosen image's version
    const char* tcpCaption;
    bool raster;
    const char* const* names;
};

static const char G_CAPTION[] = "Update G printer to new version? (%s)";
static const char HRM_CAPTION[] = "Update HRM printer to new version? (%s)";
static const char MZ54_RASTER[] = "Update MZ-54 printer FW file not selected";
static const char VRK54_RASTER[] = "Update VRK-54 printer FW file not selected";

static const ReadyPrinterCase READY_PRINTERS[] = {
    {"MFG:SIM;MDL:VRE G;FWV:V2.02 ;", "VRE G", "V2.02", "G", "LOGIC BD II ROHS", "LOGIC BD II ROHS",
     G_CAPTION, G_CAPTION, false, variantNamesLogicII},
    {"MDL:VRA HRM;FWV:V1.05 ;", "VRA HRM", "V1.05", "HRM", "LOGIC BD I", "LOGIC BD I", HRM_CAPTION,
     HRM_CAPTION, false, variantNamesLogicI},
    {"MDL:VRK-54;FWV:V3.04a ;", "VRK-54", "V3.04a", "RASTER", "MZ54 STANDARD", "LOGIC BD II ROHS",
     MZ54_RASTER, VRK54_RASTER, true, variantNamesMz54},
    {"MDL:VRK-54;FWV:V4.04a ;", "VRK-54", "V4.04a", "RASTER", "MZ54 DualDriver", "LOGIC BD II ROHS",
     MZ54_RASTER, VRK54_RASTER, true, variantNamesMz54},
    {"MDL:VRK-54;FWV:V2.02a ;", "VRK-54", "V2.02a", "RASTER", "LOGIC BD II ROHS",
     "LOGIC BD II ROHS", VRK54_RASTER, VRK54_RASTER, true, variantNamesLogicII},
    {"MDL:VRK-54;FWV:V1.05 ;", "VRK-54", "V1.05", "RASTER", "LOGIC BD I", "LOGIC BD I",
     VRK54_RASTER, VRK54_RASTER, true, variantNamesLogicI},
};

class ReadyPrinterDisplay : public DialogProbeTest {
  protected:
    void probe(Route route, const char* deviceId) {
        printer.setDeviceId(deviceId);
        if (route == LOCAL_ROUTE) {
            attachLocal(usbPath());
            refreshPrinterData(&dialogControls, &printerData);
        } else {
            findEthernetPrinter(&dialogControls, &printerData);
        }
    }

    // The caption of the format with its %s replaced by the version of the image chosen.
    static std::string expectedCaption(const char* format) {
        std::string caption = format;
        size_t at = caption.find("%s");
        if (at != std::string::npos) {
            caption.replace(at, 2, currentImage != nullptr ? currentImage->version : "(no image)");
        }
        return caption;
    }

    void expectReadyDisplay(const ReadyPrinterCase& row, Route route) {
        EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
        const char* port = route == LOCAL_ROUTE ? "USB" : "ETHERNET";
        const char* board = route == LOCAL_ROUTE ? row.localBoard : row.tcpBoard;
        EXPECT_EQ(identityTexts(dialog),
                  (Texts{row.model, port, row.version, row.language, board}));
        const char* caption = route == LOCAL_ROUTE ? row.localCaption : row.tcpCaption;
        EXPECT_EQ(dialog.text(IDC_UPGRADE_BUTTON), expectedCaption(caption));
        EXPECT_NE(currentImage, nullptr);
        EXPECT_EQ(printerData.variant, 1);

        std::vector<std::pair<bool, bool>> update = allStates(UPDATE_CONTROLS.size(), true, true);
        update[0].first = !row.raster; // the upgrade button waits for a choice of image
        EXPECT_EQ(states(dialog, UPDATE_CONTROLS), update);

        DialogItemState combo = dialog.control(IDC_FIRMWARE_COMBO);
        EXPECT_EQ(combo.comboEntries, (Texts{row.names[0], row.names[1]}));
        EXPECT_EQ(combo.comboSelection, 0);
        EXPECT_TRUE(combo.enabled);
        EXPECT_EQ(combo.visible, row.raster);
    }
};

TEST_F(ReadyPrinterDisplay, LocalProbeShowsTheLocalBoardTextsAndCaptions) {
    for (const ReadyPrinterCase& row : READY_PRINTERS) {
        SCOPED_TRACE(row.deviceId);
        probe(LOCAL_ROUTE, row.deviceId);
        expectReadyDisplay(row, LOCAL_ROUTE);
    }
}

TEST_F(ReadyPrinterDisplay, ProbeOverTcpShowsTwoBoardTextsAndTheVrk54RasterCaption) {
    for (const ReadyPrinterCase& row : READY_PRINTERS) {
        SCOPED_TRACE(row.deviceId);
        probe(TCP_ROUTE, row.deviceId);
        expectReadyDisplay(row, TCP_ROUTE);
    }
}

TEST_F(ReadyPrinterDisplay, ChoosingTheCombosEntryRunsNoSelectionHandler) {
    int selectionChanges = 0;
    dialogModelSetCommandHandler([&](int, int notification) {
        selectionChanges += notification == CONTROL_NOTIFY_SELECTION_CHANGED ? 1 : 0;
    });
    probe(LOCAL_ROUTE, READY_PRINTERS[2].deviceId);
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboSelection, 0);
    EXPECT_EQ(selectionChanges, 0);
    EXPECT_FALSE(dialog.enabled(IDC_UPGRADE_BUTTON));
}

TEST_F(ReadyPrinterDisplay, ANewProbeRefillsTheComboAndResetsTheVariant) {
    probe(TCP_ROUTE, READY_PRINTERS[2].deviceId); // MZ-54 names
    userInterfaceService->comboSelect(dialogControls.firmwareCombo, 1);
    selectFirmwareVariant(&dialogControls, &printerData);
    ASSERT_EQ(printerData.variant, 3);
    probe(TCP_ROUTE, READY_PRINTERS[4].deviceId); // board II names
    DialogItemState combo = dialog.control(IDC_FIRMWARE_COMBO);
    EXPECT_EQ(combo.comboEntries, (Texts{variantNamesLogicII[0], variantNamesLogicII[1]}));
    EXPECT_EQ(combo.comboSelection, 0);
    EXPECT_EQ(printerData.variant, 1);
}

struct SelectionCase {
    const char* deviceId;
    int index;
    int32_t variant;
};

static const SelectionCase SELECTIONS[] = {
    {"MDL:VRK-54;FWV:V2.02a ;", 1, 2}, {"MDL:VRK-54;FWV:V2.02a ;", 0, 1},
    {"MDL:VRK-54;FWV:V1.05 ;", 1, 2},  {"MDL:VRK-54;FWV:V3.04a ;", 1, 3},
    {"MDL:VRK-54;FWV:V4.04a ;", 0, 1}, {"MDL:VRK-54;FWV:V4.04a ;", 1, 3},
};

TEST_F(ReadyPrinterDisplay, ASelectionChangeSetsCaptionVariantAndImage) {
    for (const SelectionCase& row : SELECTIONS) {
        SCOPED_TRACE(std::string(row.deviceId) + " entry " + std::to_string(row.index));
        probe(LOCAL_ROUTE, row.deviceId);
        userInterfaceService->comboSelect(dialogControls.firmwareCombo, row.index);

        EXPECT_TRUE(selectFirmwareVariant(&dialogControls, &printerData));

        char caption[1024];
        composeVariantCaption(caption, sizeof caption, printerData.boardType, row.index);
        EXPECT_EQ(dialog.text(IDC_UPGRADE_BUTTON), caption);
        EXPECT_TRUE(dialog.enabled(IDC_UPGRADE_BUTTON));
        EXPECT_EQ(printerData.variant, row.variant);
        ASSERT_NE(currentImage, nullptr);
        // The image written is the one the caption names.
        EXPECT_STREQ(currentImage->version,
                     variantVersionsForBoard(printerData.boardType)[row.index]);
    }
}

TEST(FirmwareComboFilling, StopsAtTheEndEntry) {
    DialogModelDouble dialog;
    ControlHandle combo = userInterfaceService->getControl(dialog.window(), IDC_FIRMWARE_COMBO);
    userInterfaceService->comboAddString(combo, "left over");

    const char* const endFirst[] = {"END", "never shown", "END"};
    fillFirmwareCombo(combo, endFirst);
    EXPECT_TRUE(dialog.control(IDC_FIRMWARE_COMBO).comboEntries.empty());
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboSelection, -1);

    const char* const oneEntry[] = {"ONLY", "END", "not after the end"};
    fillFirmwareCombo(combo, oneEntry);
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboEntries, (Texts{"ONLY"}));
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboSelection, 0);

    fillFirmwareCombo(combo, nullptr);
    EXPECT_TRUE(dialog.control(IDC_FIRMWARE_COMBO).comboEntries.empty());
}
