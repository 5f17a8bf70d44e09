// The upgrade command up to the writer's start: the route, the same-version question, the
// refusals before any flash command, and every failure of the flash-mode entry.

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "tests/unit/flash/flash_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

static bool contains(const Strings& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class FlashEntry : public FlashFixture {
  protected:
    // After a refused or failed entry: no writer, the flag clear, the channel closed.
    void expectNothingStarted() {
        EXPECT_TRUE(kernel.threadStackSizes().empty());
        EXPECT_FALSE(updateInProgress);
        EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
        EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
        if (route_ == ROUTE_TCP) {
            EXPECT_EQ(network->closed().size(), network->opened().size());
        }
    }
    bool flashCommandSent() const {
        Strings sent = printer.commands();
        return contains(sent, "flash-mode") || contains(sent, "flash-confirm");
    }
};

struct EntryFailure {
    const char* name;
    UpgradeRoute route;
    void (*fault)(SimFaults* faults);
    const char* message;
    bool afterRequest; // the printer had taken the flash-mode request
};

static const EntryFailure ENTRY_FAILURES[] = {
    {"UsbNotReady", ROUTE_USB, [](SimFaults* f) { f->notReady = true; },
     "VRE G SIM printer is NOT ready, resolve and try again  USB", false},
    {"TcpNotReady", ROUTE_TCP, [](SimFaults* f) { f->notReady = true; },
     "VRE G SIM printer is NOT ready, resolve and try again  ETHERNET", false},
    {"UsbRefused", ROUTE_USB, [](SimFaults* f) { f->refuseFlashMode = true; },
     "Failed to entered flash programming mode", true},
    {"ParallelRefused", ROUTE_PARALLEL, [](SimFaults* f) { f->refuseFlashMode = true; },
     "Failed to entered flash programming mode", true},
    {"TcpRefused", ROUTE_TCP, [](SimFaults* f) { f->refuseFlashMode = true; },
     "Failed to entered flash programming mode", true},
    {"UsbClosedOnRequest", ROUTE_USB,
     [](SimFaults* f) { f->closeOn[SIM_COMMAND_FLASH_MODE] = true; }, "Could not read status back",
     true},
    {"UsbClosedOnConfirm", ROUTE_USB,
     [](SimFaults* f) { f->closeOn[SIM_COMMAND_FLASH_CONFIRM] = true; },
     "Could not read status back", true},
    {"TcpSilentOnConfirm", ROUTE_TCP,
     [](SimFaults* f) { f->silentOn[SIM_COMMAND_FLASH_CONFIRM] = true; },
     "Could not read status back after writing <SA15>", true},
};

class EntryFailures : public FlashEntry, public ::testing::WithParamInterface<EntryFailure> {};

TEST_P(EntryFailures, ShowTheirMessageStartNoWriterAndCloseTheChannel) {
    attach(GetParam().route);
    SimFaults faults;
    GetParam().fault(&faults);
    printer.setFaults(faults);
    upgrade();
    EXPECT_TRUE(contains(dialog.texts(), GetParam().message))
        << testing::PrintToString(dialog.texts());
    // A printer that took the flash-mode request may be waiting in flash mode: the user is told.
    EXPECT_EQ(contains(dialog.texts(), "The printer may be waiting in flash mode: power-cycle it "
                                       "before using it again"),
              GetParam().afterRequest);
    UpgradeVerdict verdict = lastUpgradeVerdict();
    EXPECT_EQ(verdict.flashModeRequested, GetParam().afterRequest);
    EXPECT_EQ(verdict.failure,
              GetParam().afterRequest ? UPGRADE_FAILURE_FLASH_MODE : UPGRADE_FAILURE_NOT_READY);
    EXPECT_EQ(verdict.result,
              GetParam().afterRequest ? UPGRADE_RESULT_FAILED : UPGRADE_RESULT_NOT_STARTED);
    EXPECT_STREQ(verdict.shown, GetParam().message);
    expectNothingStarted();
}

INSTANTIATE_TEST_SUITE_P(Faults, EntryFailures, ::testing::ValuesIn(ENTRY_FAILURES),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(FlashEntry, ANotReadyPrinterGetsNoFlashCommand) {
    for (UpgradeRoute route : {ROUTE_USB, ROUTE_TCP}) {
        attach(route);
        SimFaults faults;
        faults.notReady = true;
        printer.setFaults(faults);
        upgrade();
        EXPECT_FALSE(flashCommandSent()) << routeName(route);
    }
}

TEST_F(FlashEntry, ParallelPortsGetTheZeroByteAfterTheReplyEvenWhenTheEntryFails) {
    attach(ROUTE_PARALLEL);
    SimFaults faults;
    faults.refuseFlashMode = true;
    printer.setFaults(faults);
    upgrade();
    std::vector<uint64_t> afterConfirm = imageWriteSizes();
    EXPECT_EQ(afterConfirm, std::vector<uint64_t>{1});
}

TEST_F(FlashEntry, UsbChannelsGetNoZeroByte) {
    attach(ROUTE_USB);
    SimFaults faults;
    faults.refuseFlashMode = true;
    printer.setFaults(faults);
    upgrade();
    EXPECT_TRUE(imageWriteSizes().empty());
}

TEST_F(FlashEntry, WaitsTheFixedPausesOfEachRoute) {
    // The Ethernet route's pauses, in order, between its readiness check and the writer.
    attach(ROUTE_TCP);
    SimFaults faults;
    faults.refuseFlashMode = true;
    printer.setFaults(faults);
    upgradePrinterFirmware();
    std::vector<uint32_t> waits = kernel.waits();
    ASSERT_GE(waits.size(), 3u);
    EXPECT_EQ(std::vector<uint32_t>(waits.end() - 3, waits.end()),
              (std::vector<uint32_t>{500, 100, 500}));
}

struct SameVersion {
    const char* printerVersion;
    bool asked;
};

// Slot 0's label is "V1.12".
static const SameVersion SAME_VERSIONS[] = {
    {"V1.12", true},  {"V1.12b", true}, {"xV1.12", true},
    {"V1.11", false}, {"v1.12", false}, {"V1.1", false},
};

class SameVersionQuestion : public FlashEntry, public ::testing::WithParamInterface<SameVersion> {};

TEST_P(SameVersionQuestion, IsAskedWhenTheImageVersionOccursInThePrinters) {
    attach(ROUTE_USB);
    snprintf(printerData.firmwareVersion, PRINTER_TEXT_SIZE, "%s", GetParam().printerVersion);
    dialog.answerNext(MESSAGE_BOX_ANSWER_NO);
    upgrade();
    std::vector<ShownMessageBox> shown = dialog.shown();
    bool asked =
        !shown.empty() && shown.front().text == "New version same as old version, continue?";
    EXPECT_EQ(asked, GetParam().asked);
    if (asked) {
        EXPECT_EQ(shown.front().caption, "Firmware update");
        EXPECT_EQ(shown.front().buttons, MESSAGE_BOX_YES_NO);
        EXPECT_FALSE(flashCommandSent());
        expectNothingStarted();
    } else {
        EXPECT_EQ(printer.imageByteCount(), evenSize(DEFAULT_SLOT));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, SameVersionQuestion, ::testing::ValuesIn(SAME_VERSIONS));

TEST_F(FlashEntry, YesToTheSameVersionGoesOnOverTcp) {
    attach(ROUTE_TCP);
    snprintf(printerData.firmwareVersion, PRINTER_TEXT_SIZE, "V1.12");
    dialog.answerNext(MESSAGE_BOX_ANSWER_YES);
    upgrade();
    EXPECT_EQ(printer.recognisedSlot(), DEFAULT_SLOT);
}

TEST_F(FlashEntry, NoToTheSameVersionClosesTheSocket) {
    attach(ROUTE_TCP);
    snprintf(printerData.firmwareVersion, PRINTER_TEXT_SIZE, "V1.12");
    size_t closed = network->closed().size();
    upgrade();
    EXPECT_FALSE(flashCommandSent());
    EXPECT_EQ(network->closed().size(), closed + 1);
    expectNothingStarted();
}

TEST_F(FlashEntry, AWriterThatCannotStartIsReportedAndClearsTheFlag) {
    for (UpgradeRoute route : {ROUTE_USB, ROUTE_TCP}) {
        SCOPED_TRACE(routeName(route));
        attach(route);
        kernel.failThreadStart({PLATFORM_ERROR_OTHER, 8});
        upgrade();
        EXPECT_TRUE(contains(dialog.texts(), "Flash update thread did not start"));
        EXPECT_FALSE(updateInProgress);
        EXPECT_FALSE(writerBusy());
        EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
        EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    }
}

TEST_F(FlashEntry, APrinterNoImageFitsIsRefusedBeforeAnyCommand) {
    for (UpgradeRoute route : {ROUTE_USB, ROUTE_TCP}) {
        SCOPED_TRACE(routeName(route));
        attach(route);
        printerData.language = LANG_NOT_FOUND;
        upgrade();
        EXPECT_TRUE(contains(dialog.texts(),
                             "No firmware image fits this printer, nothing was sent to it"));
        EXPECT_FALSE(flashCommandSent());
        expectNothingStarted();
    }
}

TEST_F(FlashEntry, ADamagedImageIsRefusedBeforeAnyCommand) {
    for (UpgradeRoute route : {ROUTE_USB, ROUTE_TCP}) {
        SCOPED_TRACE(routeName(route));
        attach(route);
        uint8_t& byte = FirmwareCatalogue[DEFAULT_SLOT].bytes[4096];
        byte ^= 0x01;
        upgrade();
        byte ^= 0x01;
        EXPECT_TRUE(contains(dialog.texts(), "The firmware image in this program is damaged, "
                                             "nothing was sent to the printer"));
        EXPECT_FALSE(flashCommandSent());
        expectNothingStarted();
    }
}

TEST_F(FlashEntry, NoPrinterFoundEndsTheCommandSilently) {
    attach(ROUTE_TCP);
    snprintf(ethernetSettings.tcpPort, ETHERNET_FIELD_SIZE, "1");
    upgrade();
    EXPECT_TRUE(dialog.texts().empty());
    expectNothingStarted();
}

TEST_F(FlashEntry, IsIgnoredWhileAWriterRuns) {
    attach(ROUTE_USB);
    size_t events = printer.events().size();
    updateInProgress = true;
    upgrade();
    updateInProgress = false;
    EXPECT_EQ(printer.events().size(), events);
    EXPECT_TRUE(kernel.threadStackSizes().empty());
}
