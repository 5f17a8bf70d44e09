#include "dialog/dialog_controls.h"

#include "platform/kernel.h"
#include "resources/resource.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

DialogControls dialogControls;
EthernetSettings ethernetSettings;

namespace {

struct ControlBinding {
    ControlHandle DialogControls::*member;
    int controlId;
};

// Every member of DialogControls, in declaration order, with its control.
constexpr ControlBinding controlBindings[] = {
    {&DialogControls::probeStatusText, IDC_PROBE_STATUS_TEXT},
    {&DialogControls::modelText, IDC_MODEL_TEXT},
    {&DialogControls::portText, IDC_PORT_TEXT},
    {&DialogControls::languageText, IDC_LANGUAGE_TEXT},
    {&DialogControls::boardText, IDC_BOARD_TEXT},
    {&DialogControls::versionText, IDC_VERSION_TEXT},
    {&DialogControls::upgradeButton, IDC_UPGRADE_BUTTON},
    {&DialogControls::programStatusText, IDC_PROGRAM_STATUS_TEXT},
    {&DialogControls::programStateText, IDC_PROGRAM_STATE_TEXT},
    {&DialogControls::programmingGroup, IDC_PROGRAMMING_GROUP},
    {&DialogControls::programStatusLabel, IDC_PROGRAM_STATUS_LABEL},
    {&DialogControls::programStateLabel, IDC_PROGRAM_STATE_LABEL},
    {&DialogControls::modeText, IDC_MODE_TEXT},
    {&DialogControls::firmwareCombo, IDC_FIRMWARE_COMBO},
    {&DialogControls::displayVersionsButton, IDC_DISPLAY_VERSIONS_BUTTON},
    {&DialogControls::printLogosButton, IDC_PRINT_LOGOS_BUTTON},
    {&DialogControls::clearLogosButton, IDC_CLEAR_LOGOS_BUTTON},
    {&DialogControls::findEthernetButton, IDC_FIND_ETHERNET_BUTTON},
    {&DialogControls::ipAddressLabel, IDC_IP_ADDRESS_LABEL},
    {&DialogControls::ethernetGroup, IDC_ETHERNET_GROUP},
    {&DialogControls::ethernetPortLabel, IDC_ETHERNET_PORT_LABEL},
    {&DialogControls::ipOctet1Edit, IDC_IP_OCTET1_EDIT},
    {&DialogControls::ipOctet2Edit, IDC_IP_OCTET2_EDIT},
    {&DialogControls::ipOctet3Edit, IDC_IP_OCTET3_EDIT},
    {&DialogControls::ipOctet4Edit, IDC_IP_OCTET4_EDIT},
    {&DialogControls::tcpPortEdit, IDC_TCP_PORT_EDIT},
};
static_assert(sizeof controlBindings / sizeof controlBindings[0] ==
              sizeof(DialogControls) / sizeof(ControlHandle));

constexpr ControlHandle DialogControls::*updateControls[] = {
    &DialogControls::upgradeButton,     &DialogControls::programStatusText,
    &DialogControls::programStateText,  &DialogControls::programmingGroup,
    &DialogControls::programStateLabel, &DialogControls::programStatusLabel,
};

constexpr ControlHandle DialogControls::*ethernetControls[] = {
    &DialogControls::findEthernetButton, &DialogControls::ethernetGroup,
    &DialogControls::ipAddressLabel,     &DialogControls::ethernetPortLabel,
    &DialogControls::ipOctet1Edit,       &DialogControls::ipOctet2Edit,
    &DialogControls::ipOctet3Edit,       &DialogControls::ipOctet4Edit,
    &DialogControls::tcpPortEdit,
};

struct EthernetField {
    char (EthernetSettings::*field)[ETHERNET_FIELD_SIZE];
    const char* defaultText;
    ControlHandle DialogControls::*edit;
    int controlId;
};

// The fields in the order the defaults are set, each with its edit.
constexpr EthernetField ethernetFields[] = {
    {&EthernetSettings::ipOctet1, "192", &DialogControls::ipOctet1Edit, IDC_IP_OCTET1_EDIT},
    {&EthernetSettings::ipOctet2, "168", &DialogControls::ipOctet2Edit, IDC_IP_OCTET2_EDIT},
    {&EthernetSettings::ipOctet3, "0", &DialogControls::ipOctet3Edit, IDC_IP_OCTET3_EDIT},
    {&EthernetSettings::ipOctet4, "1", &DialogControls::ipOctet4Edit, IDC_IP_OCTET4_EDIT},
    {&EthernetSettings::tcpPort, "10001", &DialogControls::tcpPortEdit, IDC_TCP_PORT_EDIT},
};

template <size_t count>
void enableEach(DialogControls* controls, ControlHandle DialogControls::*const (&members)[count],
                bool enabled) {
    for (ControlHandle DialogControls::*member : members) {
        userInterfaceService->enable(controls->*member, enabled);
    }
}

} // namespace

void bindDialogControls(DialogWindow dialog) {
    for (const ControlBinding& binding : controlBindings) {
        dialogControls.*binding.member =
            userInterfaceService->getControl(dialog, binding.controlId);
    }
    userInterfaceService->enable(dialogControls.printLogosButton, false);
    userInterfaceService->enable(dialogControls.clearLogosButton, false);
}

void disableUpdateControls(DialogControls* controls) {
    enableEach(controls, updateControls, false);
}

void enableUpdateControls(DialogControls* controls) {
    enableEach(controls, updateControls, true);
}

void enableEthernetControls() {
    enableEach(&dialogControls, ethernetControls, true);
}

// All defaults go into the fields before the first edit is set, since setting an edit copies
// its text straight back into its field.
void initEthernetDefaults() {
    for (const EthernetField& field : ethernetFields) {
        snprintf(ethernetSettings.*field.field, ETHERNET_FIELD_SIZE, "%s", field.defaultText);
    }
    for (const EthernetField& field : ethernetFields) {
        userInterfaceService->setText(dialogControls.*field.edit, ethernetSettings.*field.field);
    }
}

bool readEditField(DialogWindow dialog, int controlId, char* destination) {
    ControlHandle edit = userInterfaceService->getControl(dialog, controlId);
    char line[ETHERNET_FIELD_SIZE];
    // The EM_GETLINE convention: the first 16-bit word tells the control how many characters
    // it may copy; it writes no terminating NUL.
    const uint16_t mostCharacters = ETHERNET_FIELD_SIZE - 1;
    memcpy(line, &mostCharacters, sizeof mostCharacters);
    uint32_t count = userInterfaceService->getEditLine(edit, line);
    if (count < 1 || count >= ETHERNET_FIELD_SIZE) {
        return false;
    }
    memcpy(destination, line, count);
    destination[count] = '\0';
    debugLog(destination);
    return true;
}

char* ethernetFieldOfEdit(int controlId) {
    for (const EthernetField& field : ethernetFields) {
        if (field.controlId == controlId) {
            return ethernetSettings.*field.field;
        }
    }
    return nullptr;
}
