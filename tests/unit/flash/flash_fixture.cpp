#include "tests/unit/flash/flash_fixture.h"

#include "app/probe.h"
#include "connection/ethernet.h"
#include "dialog/dialog_controls.h"
#include "dialog/dialog_model.h"
#include "flash/flash_entry.h"
#include "resources/resource.h"

// Bound of the real time a test waits for its writer; the virtual clock makes it run at once.
static const uint32_t WRITER_BOUND_MS = 30000;

const char* routeName(UpgradeRoute route) {
    static const char* const names[] = {"USB", "PARALLEL", "TCP"};
    return names[route];
}

uint32_t evenSize(int slot) {
    return firmwareBuildRecords[slot].size & ~1u;
}

FlashFixture::FlashFixture() {
    dialogModelSetObserver([this](const DialogChange& change) {
        if (change.kind != DIALOG_CHANGE_TEXT || (change.controlId != IDC_PROGRAM_STATUS_TEXT &&
                                                  change.controlId != IDC_PROGRAM_STATE_TEXT)) {
            return;
        }
        DialogItemState state;
        dialogModelControlState(change.controlId, &state);
        std::lock_guard<std::mutex> lock(mutex_);
        progress_.push_back({change.controlId, state.text, kernel.elapsedMilliseconds()});
    });
}

FlashFixture::~FlashFixture() {
    EXPECT_TRUE(kernel.waitForThreads(WRITER_BOUND_MS));
}

void FlashFixture::attach(UpgradeRoute route) {
    route_ = route;
    if (route == ROUTE_TCP) {
        findEthernetPrinter(&dialogControls, &printerData);
    } else {
        attachLocal(route == ROUTE_USB ? usbPath() : "LPT1:");
        refreshPrinterData(&dialogControls, &printerData);
    }
    ASSERT_EQ(currentImage, &FirmwareCatalogue[DEFAULT_SLOT]) << "the probe found no printer";
    ASSERT_TRUE(waitForEvents(SIM_EVENT_CLOSED, countEvents(SIM_EVENT_OPENED)));
    dialog.clear();
    clearProgress();
}

void FlashFixture::upgrade() {
    upgradePrinterFirmware();
    ASSERT_TRUE(kernel.waitForThreads(WRITER_BOUND_MS));
    // Over TCP the printer may still be taking in the last bytes after the writer closed; every
    // conversation it began has ended once it recorded as many closes as opens.
    EXPECT_TRUE(waitForEvents(SIM_EVENT_CLOSED, countEvents(SIM_EVENT_OPENED)));
}

std::vector<ProgressText> FlashFixture::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

void FlashFixture::clearProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.clear();
}

std::vector<std::string> FlashFixture::progressTexts(int controlId) const {
    std::vector<std::string> texts;
    for (const ProgressText& text : progress()) {
        if (text.controlId == controlId) {
            texts.push_back(text.text);
        }
    }
    return texts;
}

std::vector<uint64_t> FlashFixture::imageWriteSizes() const {
    std::vector<uint64_t> sizes;
    if (route_ == ROUTE_TCP) {
        for (const std::vector<uint8_t>& sent : network->sent()) {
            sizes.push_back(sent.size());
        }
        return sizes;
    }
    return imageWriteSizes(printer);
}

std::vector<uint64_t> FlashFixture::imageWriteSizes(const SimulatedPrinter& local) {
    std::vector<uint64_t> sizes;
    bool inImage = false;
    for (const SimEvent& event : local.events()) {
        if (event.kind == SIM_EVENT_REPLY && event.command == "flash-confirm") {
            inImage = true;
        } else if (event.kind == SIM_EVENT_WRITE && inImage) {
            sizes.push_back(event.size);
        } else if (event.kind == SIM_EVENT_CLOSED) {
            inImage = false;
        }
    }
    return sizes;
}
