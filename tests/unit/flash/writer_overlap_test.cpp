// The writer's closing probe against the dialog's own commands: from the moment the writer
// clears updateInProgress until its closing probe has returned, the dialog ignores every
// command that would work on the printer or its globals.

#include "app/update_dialog.h"
#include "dialog/dialog_controls.h"
#include "dialog/dialog_model.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "resources/resource.h"
#include "tests/unit/flash/flash_fixture.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Holds the writer inside its closing probe, at the probe's first text, until the test has tried
// its commands. Called for every change of the dialog on the thread that made it.
class ClosingProbeGate {
  public:
    void onChange(const DialogChange& change) {
        if (change.kind != DIALOG_CHANGE_TEXT || change.controlId != IDC_PROBE_STATUS_TEXT) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (held_) {
            return;
        }
        held_ = true;
        busyWhileHeld_ = writerBusy();
        flagWhileHeld_ = updateInProgress;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
    }
    bool waitUntilHeld() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool busyWhileHeld() const { return busyWhileHeld_; }
    bool flagWhileHeld() const { return flagWhileHeld_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
    bool busyWhileHeld_ = false;
    bool flagWhileHeld_ = true;
};

void notify(int controlId, int notification) {
    updateDialogProc(
        dialogModelWindow(), DIALOG_MESSAGE_COMMAND,
        (static_cast<uintptr_t>(notification) << 16) | static_cast<uintptr_t>(controlId), 0);
}

void click(int controlId) {
    notify(controlId, CONTROL_NOTIFY_CLICKED);
}

class WriterOverlap : public FlashFixture, public ::testing::WithParamInterface<UpgradeRoute> {};

TEST_P(WriterOverlap, TheDialogIgnoresPrinterCommandsUntilTheClosingProbeHasReturned) {
    attach(GetParam());
    ClosingProbeGate gate;
    // The upgrade sets only the programming texts; the first probe text is the closing probe's.
    dialogModelSetObserver([&gate](const DialogChange& change) { gate.onChange(change); });
    upgradePrinterFirmware();
    ASSERT_TRUE(gate.waitUntilHeld());
    size_t openings = countEvents(SIM_EVENT_OPENED);
    size_t boxes = dialog.shown().size();
    int32_t variant = printerData.variant;
    std::string octet = ethernetSettings.ipOctet1;
    for (int command : {IDC_REFRESH_BUTTON, IDC_FIND_ETHERNET_BUTTON, IDC_UPGRADE_BUTTON,
                        IDC_DISPLAY_VERSIONS_BUTTON, IDC_STATUS_BUTTON}) {
        click(command);
    }
    // The combo box and the address edits leave the closing probe's globals alone too.
    userInterfaceService->setText(dialogControls.ipOctet1Edit, "10");
    notify(IDC_IP_OCTET1_EDIT, CONTROL_NOTIFY_EDIT_CHANGED);
    notify(IDC_FIRMWARE_COMBO, CONTROL_NOTIFY_SELECTION_CHANGED);
    EXPECT_EQ(printerData.variant, variant);
    EXPECT_EQ(ethernetSettings.ipOctet1, octet);
    EXPECT_EQ(countEvents(SIM_EVENT_OPENED), openings) << "a command reached the printer";
    EXPECT_EQ(dialog.shown().size(), boxes)
        << "a command showed something: " << testing::PrintToString(dialog.texts());
    gate.release();
    ASSERT_TRUE(kernel.waitForThreads(30000));
    EXPECT_TRUE(gate.busyWhileHeld());
    EXPECT_FALSE(gate.flagWhileHeld()) << "exit is allowed again during the closing probe";
    std::string label = std::string(FirmwareCatalogue[DEFAULT_SLOT].version) + ";";
    EXPECT_EQ(std::string(printerData.firmwareVersion), label) << "the closing probe ran";

    // Once the writer is done, the same command works again.
    EXPECT_FALSE(writerBusy());
    ASSERT_TRUE(waitForEvents(SIM_EVENT_CLOSED, countEvents(SIM_EVENT_OPENED)));
    openings = countEvents(SIM_EVENT_OPENED);
    click(GetParam() == ROUTE_TCP ? IDC_FIND_ETHERNET_BUTTON : IDC_REFRESH_BUTTON);
    EXPECT_TRUE(waitForEvents(SIM_EVENT_OPENED, openings + 1));
}

// Typing in an address edit for the writer's whole life, as a user may: the closing probe works
// from its own copy of the address, and the edits wait for it (ThreadSanitizer watches this).
TEST_F(FlashFixture, AddressTypingNeverRacesTheClosingProbe) {
    attach(ROUTE_TCP);
    upgradePrinterFirmware();
    while (writerBusy()) {
        notify(IDC_IP_OCTET1_EDIT, CONTROL_NOTIFY_EDIT_CHANGED);
    }
    ASSERT_TRUE(kernel.waitForThreads(30000));
    std::string label = std::string(FirmwareCatalogue[DEFAULT_SLOT].version) + ";";
    EXPECT_EQ(std::string(printerData.firmwareVersion), label) << "the closing probe ran";
}

INSTANTIATE_TEST_SUITE_P(Routes, WriterOverlap, ::testing::Values(ROUTE_USB, ROUTE_TCP),
                         [](const auto& info) { return std::string(routeName(info.param)); });

} // namespace
