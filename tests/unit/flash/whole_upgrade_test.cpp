// Whole upgrades against the simulated printer on every route: what the printer receives, the
// progress texts and their timing, and the state the upgrade leaves.

#include "app/probe.h"
#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "flash/flash_writer.h"
#include "resources/resource.h"
#include "tests/unit/flash/flash_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

// The state texts of one whole run of an image of this size, in order.
static Strings expectedStateTexts(uint32_t size) {
    Strings texts;
    for (int second = 0; second < 15; ++second) {
        texts.push_back(std::to_string(second) + " seconds elapsed");
    }
    for (uint32_t total = 0; total < size;) {
        total += std::min<uint32_t>(size - total, 512);
        texts.push_back(std::to_string(total / 1024) + " KBytes programmed\r\n");
    }
    texts.push_back("End Of File");
    for (int second = 0; second < 25; ++second) {
        texts.push_back(std::to_string(second) + " seconds elapsed");
    }
    texts.push_back(" ");
    return texts;
}

static Strings expectedStatusTexts(uint32_t size) {
    return {"Printer responding", "Delaying 15 seconds",
            "Programming " + std::to_string(size / 1024) + " KBytes", "Waiting for reset",
            "Progamming complete"};
}

// The first texts of a control, as many as expected: the closing probe may add its own after.
static Strings firstTexts(const Strings& texts, size_t count) {
    return Strings(texts.begin(), texts.begin() + static_cast<long>(std::min(count, texts.size())));
}

class WholeUpgrade : public FlashFixture, public ::testing::WithParamInterface<UpgradeRoute> {};

TEST_P(WholeUpgrade, ThePrinterReceivesTheChosenImageEvenSizedInWritesOfAtMost512Bytes) {
    attach(GetParam());
    upgrade();
    EXPECT_EQ(printer.imageByteCount(), evenSize(DEFAULT_SLOT));
    EXPECT_EQ(printer.recognisedSlot(), DEFAULT_SLOT) << "the bytes are not the slot's";
    EXPECT_EQ(FirmwareCatalogue[DEFAULT_SLOT].size, evenSize(DEFAULT_SLOT));
    std::vector<uint64_t> sizes = imageWriteSizes();
    ASSERT_FALSE(sizes.empty());
    EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), 512u);
}

TEST_P(WholeUpgrade, ShowsEveryProgressTextInOrder) {
    attach(GetParam());
    upgrade();
    Strings status = expectedStatusTexts(evenSize(DEFAULT_SLOT));
    Strings state = expectedStateTexts(evenSize(DEFAULT_SLOT));
    EXPECT_EQ(firstTexts(progressTexts(IDC_PROGRAM_STATUS_TEXT), status.size()), status);
    EXPECT_EQ(firstTexts(progressTexts(IDC_PROGRAM_STATE_TEXT), state.size()), state);
}

// The virtual time at which the first text of this content appeared.
static uint64_t shownAt(const std::vector<ProgressText>& progress, const std::string& text) {
    for (const ProgressText& shown : progress) {
        if (shown.text == text) {
            return shown.atMilliseconds;
        }
    }
    ADD_FAILURE() << "never shown: " << text;
    return 0;
}

TEST_P(WholeUpgrade, WaitsFifteenSecondsBeforeStreamingAndTwentySixAfter) {
    attach(GetParam());
    upgrade();
    std::vector<ProgressText> shown = progress();
    uint64_t start = shownAt(shown, "Delaying 15 seconds");
    uint64_t streaming = shownAt(shown, "Programming 384 KBytes");
    uint64_t endOfFile = shownAt(shown, "End Of File");
    EXPECT_EQ(streaming - start, 15000u);
    EXPECT_EQ(endOfFile, streaming) << "streaming never waits";
    EXPECT_EQ(shownAt(shown, "Waiting for reset") - endOfFile, 1000u);
    EXPECT_EQ(shownAt(shown, "Progamming complete") - endOfFile, 26000u);
}

TEST_P(WholeUpgrade, EndsWithTheClosingProbeShowingTheNewVersion) {
    attach(GetParam());
    upgrade();
    // The version field runs to the first blank, so the device id's ';' stays with it.
    std::string label = std::string(FirmwareCatalogue[DEFAULT_SLOT].version) + ";";
    EXPECT_EQ(std::string(printerData.firmwareVersion), label);
    EXPECT_EQ(dialog.text(IDC_VERSION_TEXT), label);
}

TEST_P(WholeUpgrade, EndsWithTheFlagClearAndTheChannelClosed) {
    attach(GetParam());
    upgrade();
    EXPECT_FALSE(updateInProgress);
    EXPECT_FALSE(writerBusy());
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    EXPECT_EQ(kernel.threadStackSizes(), std::vector<uint32_t>{16384});
}

INSTANTIATE_TEST_SUITE_P(Routes, WholeUpgrade,
                         ::testing::Values(ROUTE_USB, ROUTE_PARALLEL, ROUTE_TCP),
                         [](const auto& instance) {
                             return std::string(routeName(instance.param));
                         });

// A channel that takes part of each write still gets every byte, and the progress counts
// stay those of whole blocks.
class ShortWrites : public FlashFixture, public ::testing::WithParamInterface<UpgradeRoute> {};

TEST_P(ShortWrites, StillDeliverTheWholeImageWithTheSameProgress) {
    attach(GetParam());
    if (GetParam() == ROUTE_TCP) {
        network->limitSends(100);
    } else {
        SimFaults faults;
        faults.writeLimit = 100;
        printer.setFaults(faults);
    }
    upgrade();
    EXPECT_EQ(printer.imageByteCount(), evenSize(DEFAULT_SLOT));
    EXPECT_EQ(printer.recognisedSlot(), DEFAULT_SLOT);
    Strings state = expectedStateTexts(evenSize(DEFAULT_SLOT));
    EXPECT_EQ(firstTexts(progressTexts(IDC_PROGRAM_STATE_TEXT), state.size()), state);
    for (const std::string& text : dialog.texts()) {
        EXPECT_EQ(text.find("Write error"), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, ShortWrites,
                         ::testing::Values(ROUTE_USB, ROUTE_PARALLEL, ROUTE_TCP),
                         [](const auto& instance) {
                             return std::string(routeName(instance.param));
                         });

class ImageSizes : public FlashFixture {
  protected:
    // Slot 0 made as long as asked; the fixture's end gives it its size back.
    void upgradeWithSize(uint32_t size) {
        FirmwareCatalogue[DEFAULT_SLOT].size = size;
        upgrade();
    }
};

TEST_F(ImageSizes, AnOddImageLosesItsLastByteForGood) {
    attach(ROUTE_USB);
    upgradeWithSize(1025);
    EXPECT_EQ(printer.imageByteCount(), 1024u);
    EXPECT_EQ(FirmwareCatalogue[DEFAULT_SLOT].size, 1024u);
    EXPECT_EQ(progressTexts(IDC_PROGRAM_STATUS_TEXT)[2], "Programming 1 KBytes");
    Strings state = progressTexts(IDC_PROGRAM_STATE_TEXT);
    EXPECT_EQ(Strings(state.begin() + 15, state.begin() + 18),
              (Strings{"0 KBytes programmed\r\n", "1 KBytes programmed\r\n", "End Of File"}));
    EXPECT_EQ(imageWriteSizes(), (std::vector<uint64_t>{512, 512}));

    // The printer reports a damaged version now; a fresh one, probed, takes the second upgrade.
    SimulatedPrinter second;
    local->attach(usbPath(), &second);
    refreshPrinterData(&dialogControls, &printerData);
    upgrade();
    EXPECT_EQ(second.imageByteCount(), 1024u);
}

TEST_F(ImageSizes, ABlockMultipleHasNoShortLastBlockAndOtherSizesOneShortBlock) {
    struct {
        uint32_t size;
        std::vector<uint64_t> writes;
    } const cases[] = {{1536, {512, 512, 512}}, {1030, {512, 512, 6}}};
    attach(ROUTE_USB);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.size);
        SimulatedPrinter fresh;
        local->attach(usbPath(), &fresh);
        refreshPrinterData(&dialogControls, &printerData);
        upgradeWithSize(test.size);
        EXPECT_EQ(imageWriteSizes(fresh), test.writes);
    }
}

TEST_F(ImageSizes, AnEmptyOrOneByteImageGoesStraightToEndOfFile) {
    for (uint32_t size : {0u, 1u}) {
        SCOPED_TRACE(size);
        attach(ROUTE_TCP);
        clearProgress();
        size_t sendsBefore = network->sent().size();
        upgradeWithSize(size);
        Strings state = progressTexts(IDC_PROGRAM_STATE_TEXT);
        ASSERT_GE(state.size(), 16u);
        EXPECT_EQ(state[15], "End Of File");
        EXPECT_EQ(progressTexts(IDC_PROGRAM_STATUS_TEXT)[2], "Programming 0 KBytes");
        // The entry's three sends and the closing probe's two; none from the writer.
        EXPECT_EQ(network->sent().size() - sendsBefore, 5u);
    }
}
