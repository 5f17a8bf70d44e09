// The in-memory dialog: its start from the template, the control requests as the Windows
// messages behave, the notifications a front end and the dialog procedure receive, and what
// the user may do.
#include "dialog/dialog_model.h"
#include "resources/dialog_template.h"
#include "tests/doubles/dialog_model_double.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

static bool operator==(const DialogChange& a, const DialogChange& b) {
    return a.controlId == b.controlId && a.kind == b.kind;
}

static void PrintTo(const DialogChange& change, std::ostream* out) {
    *out << "{" << change.controlId << ", " << change.kind << "}";
}

namespace {

struct Command {
    int controlId;
    int notification;
    bool operator==(const Command&) const = default;
};

class DialogModelTest : public ::testing::Test {
  protected:
    ControlHandle control(int controlId) {
        return userInterfaceService->getControl(dialog.window(), controlId);
    }

    // Records what the dialog procedure would receive.
    void recordCommands() {
        dialogModelSetCommandHandler([this](int controlId, int notification) {
            commands.push_back({controlId, notification});
        });
    }

    // Reads an edit the EM_GETLINE way into a buffer that starts with the most characters.
    uint32_t getEditLine(int controlId, uint16_t most, char* buffer) {
        memcpy(buffer, &most, sizeof most);
        return userInterfaceService->getEditLine(control(controlId), buffer);
    }

    DialogModelDouble dialog;
    std::vector<Command> commands;
};

// Which controls the template leaves hidden, and which visible but disabled.
const std::vector<int> hiddenAtStart = {IDC_STATUS_BUTTON};
const std::vector<int> disabledAtStart = {
    IDC_UPGRADE_BUTTON,   IDC_ETHERNET_GROUP,       IDC_ETHERNET_PORT_LABEL, IDC_IP_OCTET4_EDIT,
    IDC_IP_OCTET3_EDIT,   IDC_IP_OCTET2_EDIT,       IDC_IP_OCTET1_EDIT,      IDC_TCP_PORT_EDIT,
    IDC_IP_ADDRESS_LABEL, IDC_FIND_ETHERNET_BUTTON,
};

bool contains(const std::vector<int>& ids, int id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST_F(DialogModelTest, StartsWithEveryItemOfTheTemplateInOrder) {
    std::vector<DialogItemState> items = dialogModelSnapshot();
    ASSERT_EQ(items.size(), 35u);
    for (int index = 0; index < UPDATE_DIALOG_ITEM_COUNT; ++index) {
        SCOPED_TRACE(index);
        const DialogItemTemplate& item = updateDialogItems[index];
        EXPECT_EQ(items[index].id, item.id);
        EXPECT_EQ(items[index].className, item.className);
        EXPECT_EQ(items[index].text, item.text);
        EXPECT_EQ(items[index].visible, (item.style & ITEM_STYLE_VISIBLE) != 0);
        EXPECT_EQ(items[index].enabled, (item.style & ITEM_STYLE_DISABLED) == 0);
        EXPECT_TRUE(items[index].comboEntries.empty());
        EXPECT_EQ(items[index].comboSelection, -1);
    }
}

TEST_F(DialogModelTest, StartsWithOnlyStatusHiddenAndTheUpgradeAndEthernetControlsDisabled) {
    for (const DialogItemState& item : dialogModelSnapshot()) {
        SCOPED_TRACE(item.id);
        EXPECT_EQ(item.visible, !contains(hiddenAtStart, item.id));
        EXPECT_EQ(item.enabled, !contains(disabledAtStart, item.id));
    }
}

TEST_F(DialogModelTest, FindsControlsOnlyInItsOwnWindow) {
    EXPECT_NE(control(IDC_EXIT_BUTTON), NO_CONTROL);
    EXPECT_NE(control(IDC_EXIT_BUTTON), control(IDC_TCP_PORT_EDIT));
    EXPECT_EQ(control(1030), NO_CONTROL);
    EXPECT_EQ(userInterfaceService->getControl(dialog.window() + 1, IDC_EXIT_BUTTON), NO_CONTROL);
}

TEST_F(DialogModelTest, RequestsOnNoControlDoNothing) {
    char buffer[16] = {};
    userInterfaceService->setText(NO_CONTROL, "x");
    userInterfaceService->enable(NO_CONTROL, false);
    userInterfaceService->show(NO_CONTROL, false);
    EXPECT_EQ(userInterfaceService->comboAddString(NO_CONTROL, "x"), -1);
    EXPECT_EQ(userInterfaceService->comboGetSelection(NO_CONTROL), -1);
    EXPECT_EQ(userInterfaceService->getEditLine(NO_CONTROL, buffer), 0u);
    EXPECT_TRUE(dialog.changes().empty());
}

TEST_F(DialogModelTest, SetsTextsStateAndVisibility) {
    userInterfaceService->setText(control(IDC_PROBE_STATUS_TEXT), "Probing for printers");
    userInterfaceService->enable(control(IDC_UPGRADE_BUTTON), true);
    userInterfaceService->show(control(IDC_FIRMWARE_COMBO), false);
    EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), "Probing for printers");
    EXPECT_TRUE(dialog.enabled(IDC_UPGRADE_BUTTON));
    EXPECT_FALSE(dialog.visible(IDC_FIRMWARE_COMBO));
    EXPECT_EQ(dialog.changes(), (std::vector<DialogChange>{
                                    {IDC_PROBE_STATUS_TEXT, DIALOG_CHANGE_TEXT},
                                    {IDC_UPGRADE_BUTTON, DIALOG_CHANGE_ENABLED},
                                    {IDC_FIRMWARE_COMBO, DIALOG_CHANGE_VISIBLE},
                                }));
}

struct EditLineCase {
    const char* name;
    size_t length;  // characters in the edit
    uint16_t most;  // the first word of the buffer
    uint32_t count; // characters copied
};

class EditLineTest : public DialogModelTest, public ::testing::WithParamInterface<EditLineCase> {};

TEST_P(EditLineTest, CopiesAtMostTheAskedCountWithoutATerminatingNul) {
    const EditLineCase& c = GetParam();
    std::string text(c.length, 'a');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    userInterfaceService->setText(control(IDC_TCP_PORT_EDIT), text.c_str());
    char buffer[400];
    memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(getEditLine(IDC_TCP_PORT_EDIT, c.most, buffer), c.count);
    EXPECT_EQ(std::string(buffer, c.count), text.substr(0, c.count));
    if (c.count >= 2) {
        EXPECT_EQ(buffer[c.count], '#') << "a NUL or more text was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, EditLineTest,
                         ::testing::Values(EditLineCase{"empty", 0, 255, 0},
                                           EditLineCase{"short", 5, 255, 5},
                                           EditLineCase{"exactly_the_limit", 255, 255, 255},
                                           EditLineCase{"over_the_limit", 300, 255, 255},
                                           EditLineCase{"small_limit", 10, 3, 3},
                                           EditLineCase{"no_room", 10, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogModelTest, ReadsNoLineFromAnythingButAnEdit) {
    char buffer[64];
    EXPECT_EQ(getEditLine(IDC_PROBE_STATUS_TEXT, 60, buffer), 0u);
    EXPECT_EQ(getEditLine(IDC_FIRMWARE_COMBO, 60, buffer), 0u);
}

TEST_F(DialogModelTest, AnEditReportsEachTextChangeAfterTheTextIsInPlace) {
    std::string seen;
    dialogModelSetCommandHandler([&](int controlId, int notification) {
        commands.push_back({controlId, notification});
        seen = dialog.text(controlId);
    });
    userInterfaceService->setText(control(IDC_IP_OCTET1_EDIT), "10");
    userInterfaceService->setText(control(IDC_IP_OCTET1_EDIT), "10");
    userInterfaceService->setText(control(IDC_MODEL_TEXT), "VRE-300");
    userInterfaceService->setText(control(IDC_UPGRADE_BUTTON), "Update");
    EXPECT_EQ(commands, (std::vector<Command>{{IDC_IP_OCTET1_EDIT, CONTROL_NOTIFY_EDIT_CHANGED},
                                              {IDC_IP_OCTET1_EDIT, CONTROL_NOTIFY_EDIT_CHANGED}}));
    EXPECT_EQ(seen, "10");
}

TEST_F(DialogModelTest, FillsAndSelectsInTheComboBoxWithoutReportingASelectionChange) {
    recordCommands();
    ControlHandle combo = control(IDC_FIRMWARE_COMBO);
    EXPECT_EQ(userInterfaceService->comboAddString(combo, "Standard"), 0);
    EXPECT_EQ(userInterfaceService->comboAddString(combo, "Second"), 1);
    userInterfaceService->comboSelect(combo, 0);
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), 0);
    EXPECT_EQ(dialog.control(IDC_FIRMWARE_COMBO).comboEntries,
              (std::vector<std::string>{"Standard", "Second"}));
    EXPECT_TRUE(commands.empty());

    userInterfaceService->comboSelect(combo, 2); // outside the list: no selection
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), -1);
    userInterfaceService->comboSelect(combo, 1);
    userInterfaceService->comboReset(combo);
    EXPECT_TRUE(dialog.control(IDC_FIRMWARE_COMBO).comboEntries.empty());
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), -1);
}

TEST_F(DialogModelTest, KeepsComboRequestsOffOtherControls) {
    ControlHandle button = control(IDC_UPGRADE_BUTTON);
    EXPECT_EQ(userInterfaceService->comboAddString(button, "x"), -1);
    userInterfaceService->comboSelect(button, 0);
    EXPECT_EQ(userInterfaceService->comboGetSelection(button), -1);
    EXPECT_TRUE(dialog.changes().empty());
}

TEST_F(DialogModelTest, RecordsAndReportsTheEndOfTheRun) {
    int exitCode = -1;
    EXPECT_FALSE(dialogModelQuitRequested(&exitCode));
    userInterfaceService->postQuit(0);
    EXPECT_TRUE(dialogModelQuitRequested(&exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(dialog.changes(), (std::vector<DialogChange>{{0, DIALOG_CHANGE_QUIT}}));
}

TEST_F(DialogModelTest, RecordsTheEndOfTheDialogWithItsResult) {
    intptr_t result = -1;
    EXPECT_FALSE(dialogModelDialogEnded(&result));
    userInterfaceService->endDialog(dialog.window(), 1012);
    EXPECT_TRUE(dialogModelDialogEnded(&result));
    EXPECT_EQ(result, 1012);
    EXPECT_FALSE(dialogModelQuitRequested(nullptr));
    EXPECT_EQ(dialog.changes(), (std::vector<DialogChange>{{0, DIALOG_CHANGE_DIALOG_ENDED}}));
}

TEST_F(DialogModelTest, ResetGoesBackToTheTemplate) {
    userInterfaceService->setText(control(IDC_MODE_TEXT), "UPGRADE Firmware");
    userInterfaceService->show(control(IDC_PRINT_LOGOS_BUTTON), false);
    userInterfaceService->comboAddString(control(IDC_FIRMWARE_COMBO), "x");
    userInterfaceService->postQuit(3);
    userInterfaceService->endDialog(dialog.window(), 2);
    dialogModelReset();
    EXPECT_EQ(dialog.text(IDC_MODE_TEXT), "");
    EXPECT_TRUE(dialog.visible(IDC_PRINT_LOGOS_BUTTON));
    EXPECT_TRUE(dialog.control(IDC_FIRMWARE_COMBO).comboEntries.empty());
    EXPECT_FALSE(dialogModelQuitRequested(nullptr));
    EXPECT_FALSE(dialogModelDialogEnded(nullptr));
}

TEST_F(DialogModelTest, AnswersMessageBoxesFromTheQueueThenByDefault) {
    dialog.answerNext(MESSAGE_BOX_ANSWER_YES);
    EXPECT_EQ(userInterfaceService->messageBox("Overwrite?", "Firmware update", MESSAGE_BOX_YES_NO),
              MESSAGE_BOX_ANSWER_YES);
    EXPECT_EQ(userInterfaceService->messageBox("Again?", "update", MESSAGE_BOX_YES_NO),
              MESSAGE_BOX_ANSWER_NO);
    showMessage("Not Ready");
    std::vector<ShownMessageBox> shown = dialog.shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, "Firmware update");
    EXPECT_FALSE(shown[2].hasCaption);
    EXPECT_EQ(dialog.texts(), (std::vector<std::string>{"Overwrite?", "Again?", "Not Ready"}));
}

// What the user may do: only on visible, enabled controls of the right kind.
struct UserActionCase {
    const char* name;
    bool (*act)();
    bool accepted;
    std::vector<Command> commands;
};

const UserActionCase userActionCases[] = {
    {"click_exit",
     [] { return dialogModelClick(IDC_EXIT_BUTTON); },
     true,
     {{IDC_EXIT_BUTTON, CONTROL_NOTIFY_CLICKED}}},
    {"click_disabled_upgrade", [] { return dialogModelClick(IDC_UPGRADE_BUTTON); }, false, {}},
    {"click_hidden_status", [] { return dialogModelClick(IDC_STATUS_BUTTON); }, false, {}},
    {"click_group_box", [] { return dialogModelClick(IDC_PROGRAMMING_GROUP); }, false, {}},
    {"click_label", [] { return dialogModelClick(IDC_PROGRAM_STATE_LABEL); }, false, {}},
    {"type_into_disabled_edit",
     [] { return dialogModelType(IDC_TCP_PORT_EDIT, "9100"); },
     false,
     {}},
    {"type_into_label", [] { return dialogModelType(IDC_MODE_TEXT, "x"); }, false, {}},
    {"select_in_empty_combo", [] { return dialogModelSelect(IDC_FIRMWARE_COMBO, 0); }, false, {}},
};

class UserActionTest : public DialogModelTest,
                       public ::testing::WithParamInterface<UserActionCase> {};

TEST_P(UserActionTest, ReachTheDialogOnlyFromUsableControls) {
    recordCommands();
    EXPECT_EQ(GetParam().act(), GetParam().accepted);
    EXPECT_EQ(commands, GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(Actions, UserActionTest, ::testing::ValuesIn(userActionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogModelTest, TypingIntoAnEnabledEditReportsTheChange) {
    recordCommands();
    userInterfaceService->enable(control(IDC_TCP_PORT_EDIT), true);
    EXPECT_TRUE(dialogModelType(IDC_TCP_PORT_EDIT, "9100"));
    EXPECT_EQ(dialog.text(IDC_TCP_PORT_EDIT), "9100");
    EXPECT_EQ(commands, (std::vector<Command>{{IDC_TCP_PORT_EDIT, CONTROL_NOTIFY_EDIT_CHANGED}}));
}

TEST_F(DialogModelTest, ChoosingAComboEntryReportsOnlyARealChange) {
    ControlHandle combo = control(IDC_FIRMWARE_COMBO);
    userInterfaceService->comboAddString(combo, "Standard");
    userInterfaceService->comboAddString(combo, "Second");
    userInterfaceService->comboSelect(combo, 0);
    recordCommands();
    EXPECT_FALSE(dialogModelSelect(IDC_FIRMWARE_COMBO, 0));
    EXPECT_FALSE(dialogModelSelect(IDC_FIRMWARE_COMBO, 2));
    EXPECT_TRUE(dialogModelSelect(IDC_FIRMWARE_COMBO, 1));
    EXPECT_EQ(userInterfaceService->comboGetSelection(combo), 1);
    EXPECT_EQ(commands,
              (std::vector<Command>{{IDC_FIRMWARE_COMBO, CONTROL_NOTIFY_SELECTION_CHANGED}}));
}

// The flash writer sets two texts while the user-interface thread reads and changes others.
TEST_F(DialogModelTest, TakesRequestsFromTwoThreadsAtOnce) {
    ControlHandle status = control(IDC_PROGRAM_STATUS_TEXT);
    std::thread writer([status] {
        for (int block = 1; block <= 2000; ++block) {
            userInterfaceService->setText(status, std::to_string(block).c_str());
        }
    });
    for (int round = 0; round < 2000; ++round) {
        userInterfaceService->enable(control(IDC_UPGRADE_BUTTON), round % 2 == 0);
        dialogModelSnapshot();
    }
    writer.join();
    EXPECT_EQ(dialog.text(IDC_PROGRAM_STATUS_TEXT), "2000");
    EXPECT_EQ(dialog.changes().size(), 4000u);
}

} // namespace
