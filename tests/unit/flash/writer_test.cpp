// The writer's failures and closing steps: write errors, the power-cycle notice, and the
// guard that keeps the dialog's commands off the printer until the closing probe is done.

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
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
                         [](const auto& info) {
                             return std::string(routeName(info.param.route)) + "Board" +
                                    std::to_string(info.param.board);
                         });

struct WriteFailure {
    const char* name;
    UpgradeRoute route;
    const char* message;
};

static const WriteFailure WRITE_FAILURES[] = {
    // The simulated channel reports ERROR_DEVICE_NOT_CONNECTED once the printer hung up.
    {"UsbPrinterHangsUp", ROUTE_USB, "Write error = Dec = 1167, Hex = 48F"},
    {"ParallelPrinterHangsUp", ROUTE_PARALLEL, "Write error = Dec = 1167, Hex = 48F"},
    // A send that takes nothing is reported as ERROR_WRITE_FAULT.
    {"TcpSendTakesNothing", ROUTE_TCP, "Write error = Dec = 29, Hex = 1D"},
};

class WriteFailures : public FlashFixture, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailures, ShowTheErrorSkipTheResetWaitAndStillClose) {
    attach(GetParam().route);
    if (GetParam().route == ROUTE_TCP) {
        // <SS>, ESC "*FR", "<SA15>" and two blocks go out; the third block stalls.
        network->stallSendsAfter(5);
    } else {
        SimFaults faults;
        faults.closeAfterImageBytes = 1024;
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
}

INSTANTIATE_TEST_SUITE_P(Routes, WriteFailures, ::testing::ValuesIn(WRITE_FAILURES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriterJobBlock, StartsWithNoChannelAndNoWriter) {
    EXPECT_EQ(writerJob.handle, INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(writerJob.socket, INVALID_SOCKET_HANDLE);
    EXPECT_FALSE(writerBusy());
}
