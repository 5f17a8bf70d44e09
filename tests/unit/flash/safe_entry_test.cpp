// What keeps an image off a printer it was not meant for, and the flash-mode reply that comes in
// pieces: a printer that did not identify itself in this probe, or a real printer offered a
// placeholder image, gets nothing after its device id and status.

#include "app/probe.h"
#include "connection/ethernet.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "resources/resource.h"
#include "tests/unit/flash/flash_fixture.h"

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

namespace {

const char NOT_IDENTIFIED[] = "The printer did not identify itself (model and firmware version): "
                              "no firmware is offered for it, nothing was sent to it";
const char NO_REAL_FIRMWARE[] = "This program carries no real firmware for this printer (its "
                                "images are placeholders for the printer simulator), nothing was "
                                "sent to it";

struct RefusedPrinter {
    const char* name;
    const char* deviceId;
    const char* caption; // the upgrade button's, null when the upgrade is offered
    const char* message; // what the upgrade command says
};

// Each follows a probe of a well-identified printer, whose classification is still in
// printerData: none of it may be used.
const RefusedPrinter REFUSED_PRINTERS[] = {
    {"NoModel", "MFG:ACME;CMD:ESC/POS;FWV:V2.05;",
     "No firmware offered: the printer's device id names no model", NOT_IDENTIFIED},
    {"EmptyModel", "MFG:SIM;MDL:;FWV:V1.00;",
     "No firmware offered: the printer's device id names no model", NOT_IDENTIFIED},
    {"NoVersion", "MFG:SIM;MDL:VRE G;",
     "No firmware offered: the printer's device id gives no firmware version", NOT_IDENTIFIED},
    {"BoardFive", "MFG:SIM;MDL:VRE G;FWV:V5.01;",
     "No firmware offered: firmware version V5.01 names no known board", NOT_IDENTIFIED},
    {"RasterWithoutBoard", "MFG:SIM;MDL:VRK-54;FWV:VX;",
     "No firmware offered: firmware version VX names no known board", NOT_IDENTIFIED},
    // Identified, but not the simulator: the build's images are placeholders.
    {"RealPrinter", "MFG:ACME;CMD:G;MDL:VRE G;FWV:V1.00;", nullptr, NO_REAL_FIRMWARE},
};

class RefusedBeforeAnyCommand : public FlashFixture,
                                public ::testing::WithParamInterface<RefusedPrinter> {};

TEST_P(RefusedBeforeAnyCommand, GetsNothingAfterItsDeviceIdAndStatus) {
    const RefusedPrinter& example = GetParam();
    attach(ROUTE_TCP);
    printer.setDeviceId(example.deviceId);
    findEthernetPrinter(&dialogControls, &printerData);
    ASSERT_TRUE(waitForEvents(SIM_EVENT_CLOSED, countEvents(SIM_EVENT_OPENED)));
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Found Printer - Printer ready");
    if (example.caption != nullptr) {
        EXPECT_EQ(dialog.text(IDC_UPGRADE_BUTTON), example.caption);
        EXPECT_FALSE(dialog.enabled(IDC_UPGRADE_BUTTON));
        EXPECT_FALSE(dialog.enabled(IDC_FIRMWARE_COMBO));
        EXPECT_EQ(currentImage, nullptr);
        // A selection change cannot bring the button back either.
        EXPECT_FALSE(selectFirmwareVariant(&dialogControls, &printerData));
        EXPECT_FALSE(dialog.enabled(IDC_UPGRADE_BUTTON));
    } else {
        EXPECT_TRUE(dialog.enabled(IDC_UPGRADE_BUTTON));
    }
    size_t commandsBefore = printer.commands().size();
    dialog.clear();
    upgrade();
    EXPECT_EQ(printer.commands().size(), commandsBefore) << testing::PrintToString(commands());
    EXPECT_EQ(dialog.texts(), Strings{example.message});
    EXPECT_EQ(printer.imageByteCount(), 0u);
    EXPECT_FALSE(writerBusy());
    EXPECT_FALSE(lastUpgradeVerdict().flashModeRequested);
}

INSTANTIATE_TEST_SUITE_P(Identities, RefusedBeforeAnyCommand, ::testing::ValuesIn(REFUSED_PRINTERS),
                         [](const auto& instance) { return std::string(instance.param.name); });

class SplitFlashReply : public FlashFixture, public ::testing::WithParamInterface<UpgradeRoute> {};

// "FLASH " and "READY" arrive apart (over TCP a second later): the entry gathers them and the
// whole image goes out.
TEST_P(SplitFlashReply, IsGatheredAndTheUpgradeGoesOn) {
    attach(GetParam());
    SimFaults faults;
    faults.splitFlashReply = true;
    printer.setFaults(faults);
    // The gathering shares one receive bound: the product's, longer than the printer's gap.
    ethernetTimeouts.receiveMilliseconds = DEFAULT_ETHERNET_TIMEOUTS.receiveMilliseconds;
    upgrade();
    EXPECT_EQ(printer.recognisedSlot(), DEFAULT_SLOT);
    EXPECT_TRUE(writerOutcome.wroteAll);
    EXPECT_TRUE(lastUpgradeVerdict().writerStarted);
}

INSTANTIATE_TEST_SUITE_P(Routes, SplitFlashReply, ::testing::Values(ROUTE_USB, ROUTE_TCP),
                         [](const auto& instance) {
                             return std::string(routeName(instance.param));
                         });

} // namespace
