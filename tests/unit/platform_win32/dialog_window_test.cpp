// A real dialog made from resource 103: its live controls against the control table and the
// in-memory model, the Windows user-interface service over them, and the control set's
// operations on real edits, whose text changes reach the dialog procedure as EN_CHANGE.
#include "app/update_dialog.h"
#include "dialog/dialog_controls.h"
#include "dialog/dialog_model.h"
#include "resources/dialog_template.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <windows.h>

namespace {

std::vector<std::pair<int, int>> commands; // control id and notification code, as received
bool routeEditChanges = false;

// A trivial dialog procedure that records WM_COMMAND and, when asked, reads an edit's change
// into its Ethernet field as the update dialog does.
INT_PTR CALLBACK recordingDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    int controlId = LOWORD(first);
    int notification = HIWORD(first);
    commands.emplace_back(controlId, notification);
    char* field = ethernetFieldOfEdit(controlId);
    if (routeEditChanges && notification == EN_CHANGE && field != nullptr) {
        readEditField(reinterpret_cast<DialogWindow>(dialog), controlId, field);
    }
    return TRUE;
}

// Hands the update dialog's commands to its procedure; at the start it only presses "Exit",
// since a real first probe would look for printers on this machine.
INT_PTR CALLBACK exitingDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_INITDIALOG) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXIT_BUTTON, BN_CLICKED), 0);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    return updateDialogProc(reinterpret_cast<DialogWindow>(dialog), message, first, second);
}

class DialogWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProgramState();
        dialogModelReset();
        commands.clear();
        routeEditChanges = false;
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE_DIALOG),
                                    nullptr, recordingDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        commands.clear();
    }
    void TearDown() override { DestroyWindow(dialog); }

    DialogWindow window() const { return reinterpret_cast<DialogWindow>(dialog); }
    ControlHandle control(int controlId) const {
        return userInterfaceService->getControl(window(), controlId);
    }
    static std::string liveText(HWND item) {
        char text[300] = {};
        GetWindowTextA(item, text, sizeof text);
        return text;
    }
    static LONG liveStyle(HWND item) { return GetWindowLongA(item, GWL_STYLE); }

    KernelDouble kernel;
    HWND dialog = nullptr;
};

// At run time Wine trades an edit's WS_BORDER for the extended WS_EX_CLIENTEDGE and drops a
// combo box's WS_VSCROLL; the resource test holds those bits to the table.
TEST_F(DialogWindowTest, LiveControlsFollowTheTableInOrder) {
    HWND item = GetWindow(dialog, GW_CHILD);
    for (const DialogItemTemplate& expected : updateDialogItems) {
        SCOPED_TRACE(expected.text);
        ASSERT_NE(item, nullptr);
        char className[32] = {};
        GetClassNameA(item, className, sizeof className);
        EXPECT_STRCASEEQ(className, expected.className);
        EXPECT_EQ(GetDlgCtrlID(item) & 0xFFFF, expected.id & 0xFFFF);
        EXPECT_EQ(liveText(item), expected.text);
        const LONG runTimeBits = WS_BORDER | WS_VSCROLL;
        EXPECT_EQ(liveStyle(item) & ~runTimeBits, static_cast<LONG>(expected.style) & ~runTimeBits);
        item = GetWindow(item, GW_HWNDNEXT);
    }
    EXPECT_EQ(item, nullptr) << "more than 35 items";
}

TEST_F(DialogWindowTest, TheModelStartsAsTheLiveDialog) {
    for (const DialogItemState& state : dialogModelSnapshot()) {
        if (state.id == IDC_UNADDRESSED) {
            continue;
        }
        SCOPED_TRACE(state.id);
        HWND item = GetDlgItem(dialog, state.id);
        EXPECT_EQ(state.text, liveText(item));
        EXPECT_EQ(state.visible, (liveStyle(item) & WS_VISIBLE) != 0);
        EXPECT_EQ(state.enabled, IsWindowEnabled(item) != FALSE);
    }
}

TEST_F(DialogWindowTest, ServiceFindsControlsAsGetDlgItem) {
    EXPECT_EQ(control(IDC_TCP_PORT_EDIT),
              reinterpret_cast<ControlHandle>(GetDlgItem(dialog, IDC_TCP_PORT_EDIT)));
    EXPECT_EQ(control(1030), NO_CONTROL);
}

// The edit also sends EN_UPDATE before EN_CHANGE; the dialog acts on EN_CHANGE only.
TEST_F(DialogWindowTest, ServiceSetsTextAndTheEditReportsTheChange) {
    userInterfaceService->setText(control(IDC_MODE_TEXT), "UPGRADE Firmware");
    userInterfaceService->setText(control(IDC_IP_OCTET1_EDIT), "10");
    EXPECT_EQ(liveText(GetDlgItem(dialog, IDC_MODE_TEXT)), "UPGRADE Firmware");
    std::vector<int> changed;
    for (const auto& [controlId, notification] : commands) {
        if (notification == EN_CHANGE) {
            changed.push_back(controlId);
        }
    }
    EXPECT_EQ(changed, (std::vector<int>{IDC_IP_OCTET1_EDIT}));
}

TEST_F(DialogWindowTest, ServiceReadsAnEditLineWithTheCapAndNoNul) {
    std::string typed(300, 'z');
    userInterfaceService->setText(control(IDC_TCP_PORT_EDIT), typed.c_str());
    char buffer[300];
    memset(buffer, '#', sizeof buffer);
    const uint16_t most = 255;
    memcpy(buffer, &most, sizeof most);
    EXPECT_EQ(userInterfaceService->getEditLine(control(IDC_TCP_PORT_EDIT), buffer), 255u);
    EXPECT_EQ(std::string(buffer, 255), std::string(255, 'z'));
    EXPECT_EQ(buffer[255], '#');
}

TEST_F(DialogWindowTest, ServiceEnablesAndShows) {
    HWND upgrade = GetDlgItem(dialog, IDC_UPGRADE_BUTTON);
    userInterfaceService->enable(control(IDC_UPGRADE_BUTTON), true);
    EXPECT_TRUE(IsWindowEnabled(upgrade));
    userInterfaceService->show(control(IDC_UPGRADE_BUTTON), false);
    EXPECT_EQ(liveStyle(upgrade) & WS_VISIBLE, 0);
    userInterfaceService->show(control(IDC_UPGRADE_BUTTON), true);
    EXPECT_NE(liveStyle(upgrade) & WS_VISIBLE, 0);
}

TEST_F(DialogWindowTest, ServiceFillsAndSelectsInTheComboWithoutASelectionChange) {
    ControlHandle combo = control(IDC_FIRMWARE_COMBO);
    EXPECT_EQ(userInterfaceService->comboAddString(combo, "Standard"), 0);
    EXPECT_EQ(userInterfaceService->comboAddString(combo, "Second"), 1);
    userInterfaceService->comboSelect(combo, 1);
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), 1);
    userInterfaceService->comboSelect(combo, -1);
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), -1);
    userInterfaceService->comboReset(combo);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_FIRMWARE_COMBO), CB_GETCOUNT, 0, 0), 0);
    for (const auto& [controlId, notification] : commands) {
        EXPECT_NE(notification, CBN_SELCHANGE) << controlId;
    }
}

// The quit message that ends the message loop, from the user-interface thread and from another.
TEST_F(DialogWindowTest, ServicePostsTheQuitToTheUserInterfaceThread) {
    for (bool fromWorker : {false, true}) {
        SCOPED_TRACE(fromWorker ? "from a worker thread" : "from this thread");
        if (fromWorker) {
            std::thread worker([] { userInterfaceService->postQuit(4); });
            worker.join();
        } else {
            userInterfaceService->postQuit(4);
        }
        MSG message;
        ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(message.wParam, 4u);
    }
}

// "Exit" ends the modal dialog with its identifier and posts the quit that ends the main loop.
TEST_F(DialogWindowTest, ExitEndsTheModalDialogWithTheCommandAndPostsTheQuit) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE_DIALOG),
                                     nullptr, exitingDialogProc, 0);
    EXPECT_EQ(result, IDC_EXIT_BUTTON);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_TRUE(kernel.logged("RestorePortsToOriginal - Entry"));
}

TEST_F(DialogWindowTest, DefaultsReachFieldsAndRealEditsThroughTheirChangeReports) {
    routeEditChanges = true;
    bindDialogControls(window());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PRINT_LOGOS_BUTTON)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLEAR_LOGOS_BUTTON)));
    initEthernetDefaults();
    EXPECT_STREQ(ethernetSettings.ipOctet1, "192");
    EXPECT_STREQ(ethernetSettings.ipOctet2, "168");
    EXPECT_STREQ(ethernetSettings.ipOctet3, "0");
    EXPECT_STREQ(ethernetSettings.ipOctet4, "1");
    EXPECT_STREQ(ethernetSettings.tcpPort, "10001");
    EXPECT_EQ(liveText(GetDlgItem(dialog, IDC_IP_OCTET1_EDIT)), "192");
    EXPECT_EQ(liveText(GetDlgItem(dialog, IDC_TCP_PORT_EDIT)), "10001");
    EXPECT_EQ(kernel.logLines(), (std::vector<std::string>{"192", "168", "0", "1", "10001"}));
}

TEST_F(DialogWindowTest, ARealEditKeepsItsFieldWhenEmptiedAndCutsAt255) {
    routeEditChanges = true;
    bindDialogControls(window());
    initEthernetDefaults();
    userInterfaceService->setText(dialogControls.ipOctet4Edit, "");
    EXPECT_STREQ(ethernetSettings.ipOctet4, "1");
    userInterfaceService->setText(dialogControls.tcpPortEdit, std::string(300, '9').c_str());
    EXPECT_EQ(std::string(ethernetSettings.tcpPort), std::string(255, '9'));
}

TEST_F(DialogWindowTest, EthernetControlsAreEnabledButStayHidden) {
    bindDialogControls(window());
    userInterfaceService->show(dialogControls.ethernetGroup, false);
    enableEthernetControls();
    HWND group = GetDlgItem(dialog, IDC_ETHERNET_GROUP);
    EXPECT_TRUE(IsWindowEnabled(group));
    EXPECT_EQ(liveStyle(group) & WS_VISIBLE, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_TCP_PORT_EDIT)));
}

} // namespace
