// The dialog's control set: binding the handles, switching the update and Ethernet groups, the
// default printer address and the copy of an edit's text into its field.
#include "dialog/dialog_controls.h"
#include "resources/resource.h"
#include "tests/doubles/dialog_model_double.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class DialogControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProgramState();
        bindDialogControls(dialog.window());
        dialog.clearChanges();
    }

    // Hands each edit change to readEditField, as the dialog procedure does.
    void routeEditChanges() {
        dialogModelSetCommandHandler([this](int controlId, int notification) {
            char* field = ethernetFieldOfEdit(controlId);
            if (notification == CONTROL_NOTIFY_EDIT_CHANGED && field != nullptr) {
                readEditField(dialog.window(), controlId, field);
            }
        });
    }

    // The controls whose enabled state was set, in order, and that it is now as given.
    std::vector<int> enabledInOrder(bool enabled) {
        std::vector<int> ids;
        for (const DialogChange& change : dialog.changes()) {
            EXPECT_EQ(change.kind, DIALOG_CHANGE_ENABLED);
            EXPECT_EQ(dialog.enabled(change.controlId), enabled) << change.controlId;
            ids.push_back(change.controlId);
        }
        return ids;
    }

    KernelDouble kernel;
    DialogModelDouble dialog;
};

struct Binding {
    ControlHandle DialogControls::*member;
    int controlId;
};

const Binding bindings[] = {
    {&DialogControls::probeStatusText, 1013},
    {&DialogControls::modelText, 1014},
    {&DialogControls::portText, 1015},
    {&DialogControls::languageText, 1026},
    {&DialogControls::boardText, 1016},
    {&DialogControls::versionText, 1017},
    {&DialogControls::upgradeButton, 1018},
    {&DialogControls::programStatusText, 1019},
    {&DialogControls::programStateText, 1021},
    {&DialogControls::programmingGroup, 1023},
    {&DialogControls::programStatusLabel, 1024},
    {&DialogControls::programStateLabel, 1025},
    {&DialogControls::modeText, 1029},
    {&DialogControls::firmwareCombo, 1031},
    {&DialogControls::displayVersionsButton, 1028},
    {&DialogControls::printLogosButton, 1032},
    {&DialogControls::clearLogosButton, 1033},
    {&DialogControls::findEthernetButton, 1039},
    {&DialogControls::ipAddressLabel, 1042},
    {&DialogControls::ethernetGroup, 1040},
    {&DialogControls::ethernetPortLabel, 1041},
    {&DialogControls::ipOctet1Edit, 1037},
    {&DialogControls::ipOctet2Edit, 1036},
    {&DialogControls::ipOctet3Edit, 1035},
    {&DialogControls::ipOctet4Edit, 1034},
    {&DialogControls::tcpPortEdit, 1038},
};

TEST_F(DialogControlsTest, BindsEveryMemberToItsControl) {
    for (const Binding& binding : bindings) {
        SCOPED_TRACE(binding.controlId);
        ControlHandle handle = dialogControls.*binding.member;
        EXPECT_NE(handle, NO_CONTROL);
        EXPECT_EQ(handle, userInterfaceService->getControl(dialog.window(), binding.controlId));
    }
}

TEST_F(DialogControlsTest, BindingDisablesTheLogoButtonsAndNothingElse) {
    resetProgramState();
    bindDialogControls(dialog.window());
    EXPECT_EQ(enabledInOrder(false),
              (std::vector<int>{IDC_PRINT_LOGOS_BUTTON, IDC_CLEAR_LOGOS_BUTTON}));
    EXPECT_TRUE(dialog.visible(IDC_PRINT_LOGOS_BUTTON));
    EXPECT_TRUE(dialog.visible(IDC_CLEAR_LOGOS_BUTTON));
}

const std::vector<int> updateControlsInOrder = {
    IDC_UPGRADE_BUTTON,    IDC_PROGRAM_STATUS_TEXT, IDC_PROGRAM_STATE_TEXT,
    IDC_PROGRAMMING_GROUP, IDC_PROGRAM_STATE_LABEL, IDC_PROGRAM_STATUS_LABEL,
};

TEST_F(DialogControlsTest, DisablesTheSixUpdateControlsInOrder) {
    disableUpdateControls(&dialogControls);
    EXPECT_EQ(enabledInOrder(false), updateControlsInOrder);
}

TEST_F(DialogControlsTest, EnablesTheSixUpdateControlsInOrder) {
    disableUpdateControls(&dialogControls);
    dialog.clearChanges();
    enableUpdateControls(&dialogControls);
    EXPECT_EQ(enabledInOrder(true), updateControlsInOrder);
}

TEST_F(DialogControlsTest, SwitchesTheUpdateControlsOfTheRecordItIsGiven) {
    DialogControls onlyTheButton = {};
    onlyTheButton.upgradeButton = dialogControls.upgradeButton;
    enableUpdateControls(&onlyTheButton);
    EXPECT_EQ(enabledInOrder(true), (std::vector<int>{IDC_UPGRADE_BUTTON}));
}

TEST_F(DialogControlsTest, EnablesTheNineEthernetControlsInOrderWithoutShowingThem) {
    userInterfaceService->show(dialogControls.ethernetGroup, false);
    userInterfaceService->show(dialogControls.tcpPortEdit, false);
    dialog.clearChanges();
    enableEthernetControls();
    EXPECT_EQ(enabledInOrder(true),
              (std::vector<int>{IDC_FIND_ETHERNET_BUTTON, IDC_ETHERNET_GROUP, IDC_IP_ADDRESS_LABEL,
                                IDC_ETHERNET_PORT_LABEL, IDC_IP_OCTET1_EDIT, IDC_IP_OCTET2_EDIT,
                                IDC_IP_OCTET3_EDIT, IDC_IP_OCTET4_EDIT, IDC_TCP_PORT_EDIT}));
    EXPECT_FALSE(dialog.visible(IDC_ETHERNET_GROUP));
    EXPECT_FALSE(dialog.visible(IDC_TCP_PORT_EDIT));
    EXPECT_TRUE(dialog.visible(IDC_FIND_ETHERNET_BUTTON));
}

void expectDefaults(const DialogModelDouble& dialog) {
    EXPECT_STREQ(ethernetSettings.ipOctet1, "192");
    EXPECT_STREQ(ethernetSettings.ipOctet2, "168");
    EXPECT_STREQ(ethernetSettings.ipOctet3, "0");
    EXPECT_STREQ(ethernetSettings.ipOctet4, "1");
    EXPECT_STREQ(ethernetSettings.tcpPort, "10001");
    EXPECT_EQ(dialog.text(IDC_IP_OCTET1_EDIT), "192");
    EXPECT_EQ(dialog.text(IDC_IP_OCTET2_EDIT), "168");
    EXPECT_EQ(dialog.text(IDC_IP_OCTET3_EDIT), "0");
    EXPECT_EQ(dialog.text(IDC_IP_OCTET4_EDIT), "1");
    EXPECT_EQ(dialog.text(IDC_TCP_PORT_EDIT), "10001");
}

TEST_F(DialogControlsTest, DefaultsLandInFieldsAndEditsWithNothingAppended) {
    routeEditChanges();
    // Longer texts in the fields beforehand must not show through behind the defaults.
    for (char* field :
         {ethernetSettings.ipOctet1, ethernetSettings.ipOctet2, ethernetSettings.ipOctet3,
          ethernetSettings.ipOctet4, ethernetSettings.tcpPort}) {
        memset(field, '9', ETHERNET_FIELD_SIZE - 1);
    }
    initEthernetDefaults();
    expectDefaults(dialog);
    // Each edit reported its change and the dialog read the same text back into its field.
    EXPECT_EQ(kernel.logLines(), (std::vector<std::string>{"192", "168", "0", "1", "10001"}));
}

TEST_F(DialogControlsTest, DefaultsSetTheEditsInOrderAfterAllFieldsAreFilled) {
    std::vector<std::string> fieldsAtEachChange;
    dialogModelSetCommandHandler([&](int, int) {
        fieldsAtEachChange.push_back(std::string(ethernetSettings.ipOctet1) + "." +
                                     ethernetSettings.ipOctet2 + "." + ethernetSettings.ipOctet3 +
                                     "." + ethernetSettings.ipOctet4 + ":" +
                                     ethernetSettings.tcpPort);
    });
    initEthernetDefaults();
    expectDefaults(dialog);
    std::vector<int> order;
    for (const DialogChange& change : dialog.changes()) {
        order.push_back(change.controlId);
    }
    EXPECT_EQ(order, (std::vector<int>{IDC_IP_OCTET1_EDIT, IDC_IP_OCTET2_EDIT, IDC_IP_OCTET3_EDIT,
                                       IDC_IP_OCTET4_EDIT, IDC_TCP_PORT_EDIT}));
    EXPECT_EQ(fieldsAtEachChange, std::vector<std::string>(5, "192.168.0.1:10001"));
}

struct EditCase {
    const char* name;
    std::string typed;
    bool written;
    std::string field; // afterwards
};

const std::string lastGood = "10.0.0.9";

const EditCase editCases[] = {
    {"empty_keeps_the_field", "", false, lastGood},
    {"one_character", "7", true, "7"},
    {"a_port", "9100", true, "9100"},
    {"255_characters", std::string(255, 'x'), true, std::string(255, 'x')},
    {"300_characters_leave_255", std::string(300, 'y'), true, std::string(255, 'y')},
    {"not_a_number_is_kept_as_typed", "abc%s%n", true, "abc%s%n"},
};

class ReadEditFieldTest : public DialogControlsTest,
                          public ::testing::WithParamInterface<EditCase> {};

TEST_P(ReadEditFieldTest, CopiesOneTo255CharactersAndLogsThem) {
    const EditCase& c = GetParam();
    snprintf(ethernetSettings.ipOctet2, ETHERNET_FIELD_SIZE, "%s", lastGood.c_str());
    memset(ethernetSettings.ipOctet3, '!', ETHERNET_FIELD_SIZE); // the next field stays untouched
    userInterfaceService->setText(dialogControls.ipOctet2Edit, c.typed.c_str());
    kernel.clearLog();
    EXPECT_EQ(readEditField(dialog.window(), IDC_IP_OCTET2_EDIT, ethernetSettings.ipOctet2),
              c.written);
    EXPECT_EQ(std::string(ethernetSettings.ipOctet2), c.field);
    EXPECT_EQ(ethernetSettings.ipOctet3[0], '!');
    EXPECT_EQ(kernel.logLines(),
              c.written ? std::vector<std::string>{c.field} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Edits, ReadEditFieldTest, ::testing::ValuesIn(editCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogControlsTest, ReadingAControlThatIsNoEditLeavesTheFieldAlone) {
    snprintf(ethernetSettings.tcpPort, ETHERNET_FIELD_SIZE, "10001");
    EXPECT_FALSE(readEditField(dialog.window(), IDC_MODEL_TEXT, ethernetSettings.tcpPort));
    EXPECT_FALSE(readEditField(dialog.window(), 1030, ethernetSettings.tcpPort));
    EXPECT_STREQ(ethernetSettings.tcpPort, "10001");
    EXPECT_TRUE(kernel.logLines().empty());
}

TEST_F(DialogControlsTest, EmptyingAnEditKeepsItsLastTextForTheNextConnection) {
    routeEditChanges();
    initEthernetDefaults();
    enableEthernetControls();
    ASSERT_TRUE(dialogModelType(IDC_IP_OCTET4_EDIT, "12"));
    ASSERT_TRUE(dialogModelType(IDC_IP_OCTET4_EDIT, ""));
    EXPECT_STREQ(ethernetSettings.ipOctet4, "12");
    EXPECT_EQ(dialog.text(IDC_IP_OCTET4_EDIT), "");
}

TEST_F(DialogControlsTest, TypingThreeHundredCharactersLeavesTheFirst255) {
    routeEditChanges();
    initEthernetDefaults();
    enableEthernetControls();
    std::string typed(255, 'p');
    typed += std::string(45, 'q');
    ASSERT_TRUE(dialogModelType(IDC_TCP_PORT_EDIT, typed.c_str()));
    EXPECT_EQ(std::string(ethernetSettings.tcpPort), std::string(255, 'p'));
}

TEST(EthernetFieldOfEdit, NamesTheFieldThatMirrorsEachEdit) {
    EXPECT_EQ(ethernetFieldOfEdit(1037), ethernetSettings.ipOctet1);
    EXPECT_EQ(ethernetFieldOfEdit(1036), ethernetSettings.ipOctet2);
    EXPECT_EQ(ethernetFieldOfEdit(1035), ethernetSettings.ipOctet3);
    EXPECT_EQ(ethernetFieldOfEdit(1034), ethernetSettings.ipOctet4);
    EXPECT_EQ(ethernetFieldOfEdit(1038), ethernetSettings.tcpPort);
    EXPECT_EQ(ethernetFieldOfEdit(1039), nullptr);
    EXPECT_EQ(ethernetFieldOfEdit(1033), nullptr);
}

} // namespace
