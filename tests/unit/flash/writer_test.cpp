// The writer's failures and closing steps: write errors, the power-cycle notice, and the
// guard that keeps the dialog's commands off the printer until the closing probe is done.

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "resources/resource.h"
#include "tests/unit/flash/flash_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

static const char POWER_CYCLE_NOTICE[] =
    "USB printer, please power cycle printer before proceeding, older USB adpaters need BRANDING";

static int countOf(const Strings& texts, const std::string& text) {
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

struct PowerCycleCase {
    UpgradeRoute route;
    int32_t board;
    bool shown;
};

static const PowerCycleCase POWER_CYCLE_CASES[] = {
    {ROUTE_USB, BOARD_LOGIC_I, true},        {ROUTE_USB, BOARD_LOGIC_II, true},
    {ROUTE_USB, BOARD_MZ54_STANDARD, false}, {ROUTE_USB, BOARD_MZ54_DUAL, false},
    {ROUTE_PARALLEL, BOARD_LOGIC_I, false},  {ROUTE_TCP, BOARD_LOGIC_I, false},
    {ROUTE_TCP, BOARD_LOGIC_II, false},
};

class PowerCycleNotice : public FlashFixture,
                         public ::testing::WithParamInterface<PowerCycleCase> {};

TEST_P(PowerCycleNotice, IsShownForUsbBoardsIAndIIOnly) {
    attach(GetParam().route);
    printerData.boardType = GetParam().board;
    upgrade();
    int notices = 0;
    for (const ShownMessageBox& box : dialog.shown()) {
        if (box.text == POWER_CYCLE_NOTICE) {
            ++notices;
            EXPECT_EQ(box.caption, "update");
            EXPECT_EQ(box.buttons, MESSAGE_BOX_OK);
        }
    }
    EXPECT_EQ(notices, GetParam().shown ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, PowerCycleNotice, ::testing::ValuesIn(POWER_CYCLE_CASES),
                         [](const auto& instance) {
                             return std::string(routeName(instance.param.route)) + "Board" +
                                    std::to_string(instance.param.board);
                         });

struct WriteFailure {
    const char* name;
    UpgradeRoute route;
    void (*fault)(SimFaults* faults); // the simulated printer's; none for the TCP send double
    const char* message;
    const char* versionAfter; // what the closing probe then reads
};

static const WriteFailure WRITE_FAILURES[] = {
    // The simulated channel reports ERROR_DEVICE_NOT_CONNECTED once the printer hung up.
    {"UsbPrinterHangsUp", ROUTE_USB, [](SimFaults* f) { f->closeAfterImageBytes = 1024; },
     "Write error = Dec = 1167, Hex = 48F", "CORRUPT;"},
    {"ParallelPrinterHangsUp", ROUTE_PARALLEL, [](SimFaults* f) { f->closeAfterImageBytes = 1024; },
     "Write error = Dec = 1167, Hex = 48F", "CORRUPT;"},
    // A send that takes nothing leaves no system error: the number shown is 0.
    // The closing probe's sends take nothing either: the version shown stays as it was.
    {"TcpSendTakesNothing", ROUTE_TCP, nullptr, "Write error = Dec = 0, Hex = 0", "V1.00;"},
    // A printer that stops reading: the channel's write bound passes (ERROR_SEM_TIMEOUT).
    {"UsbPrinterStalls", ROUTE_USB, [](SimFaults* f) { f->stallAfterImageBytes = 1024; },
     "Write error = Dec = 121, Hex = 79", "CORRUPT;"},
    // It hangs up after part of the image and then claims the new version: a failure all the same.
    {"UsbPrinterClaimsTheVersionOfACutImage", ROUTE_USB,
     [](SimFaults* f) { f->claimVersionAfterImageBytes = 1024; },
     "Write error = Dec = 1167, Hex = 48F", "V1.12;"},
};

class WriteFailures : public FlashFixture, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailures, ShowTheErrorSkipTheResetWaitAndStillClose) {
    attach(GetParam().route);
    if (GetParam().fault == nullptr) {
        // <SS>, ESC "*FR", "<SA15>" and two blocks go out; the third block stalls.
        network->stallSendsAfter(5);
    } else {
        SimFaults faults;
        GetParam().fault(&faults);
        printer.setFaults(faults);
    }
    upgrade();
    Strings texts = dialog.texts();
    EXPECT_EQ(countOf(texts, GetParam().message), 1) << testing::PrintToString(texts);
    Strings status = progressTexts(IDC_PROGRAM_STATUS_TEXT);
    EXPECT_EQ(countOf(status, "Waiting for reset"), 0);
    EXPECT_EQ(countOf(status, "Progamming complete"), 0);
    Strings state = progressTexts(IDC_PROGRAM_STATE_TEXT);
    ASSERT_GE(state.size(), 18u);
    EXPECT_EQ(state[17], "1 KBytes programmed\r\n") << "the third block's count stays";
    EXPECT_EQ(countOf(state, "End Of File"), 0);
    EXPECT_FALSE(updateInProgress);
    EXPECT_FALSE(writerBusy());
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    // The front ends judge the upgrade by the writer's outcome, whatever the printer says now.
    EXPECT_FALSE(writerOutcome.wroteAll);
    EXPECT_EQ(writerOutcome.bytesAccepted, 1024u);
    EXPECT_EQ(writerOutcome.imageSize, evenSize(DEFAULT_SLOT));
    EXPECT_EQ(dialog.text(IDC_VERSION_TEXT), GetParam().versionAfter);
}

// Over TCP a printer that stops reading fills the socket buffers; the send bound then ends the
// write. The closing probe meets the same silent printer and gives up at its receive bound.
TEST_F(FlashFixture, AStalledPrinterOverTcpIsAWriteErrorAtTheSendBound) {
    attach(ROUTE_TCP);
    SimFaults faults;
    faults.stallAfterImageBytes = 1024;
    printer.setFaults(faults);
    ethernetTimeouts.sendMilliseconds = 200;
    ethernetTimeouts.receiveMilliseconds = 200;
    upgradePrinterFirmware();
    ASSERT_TRUE(kernel.waitForThreads(30000));
    // The system's time-out: EAGAIN on Linux, WSAETIMEDOUT on Windows.
    Strings texts = dialog.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0].rfind("Write error = Dec = ", 0), 0u) << testing::PrintToString(texts);
    EXPECT_TRUE(platformFailed(writerOutcome.writeError));
    EXPECT_FALSE(writerOutcome.wroteAll);
    EXPECT_GE(writerOutcome.bytesAccepted, 1024u);
    EXPECT_LT(writerOutcome.bytesAccepted, evenSize(DEFAULT_SLOT));
}

INSTANTIATE_TEST_SUITE_P(Routes, WriteFailures, ::testing::ValuesIn(WRITE_FAILURES),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(WriterJobBlock, StartsWithNoChannelAndNoWriter) {
    EXPECT_EQ(writerJob.handle, INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(writerJob.socket, INVALID_SOCKET_HANDLE);
    EXPECT_FALSE(writerBusy());
}
