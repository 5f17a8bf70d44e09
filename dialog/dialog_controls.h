#pragma once

// The update dialog's control set: the handles every part of the dialog side writes through,
// the five Ethernet text fields that mirror the dialog's address and port edits, and the small
// operations that bind the handles, switch control groups on and off, set the default printer
// address and copy an edit's text into its field.

#include "platform/user_interface.h"

// The dialog's control handles, filled once at dialog start by bindDialogControls and valid
// for the dialog's whole life. Passed by address to the probe, the flash mode entry and the
// flash writer.
struct DialogControls {
    ControlHandle probeStatusText;
    ControlHandle modelText;
    ControlHandle portText;
    ControlHandle languageText;
    ControlHandle boardText;
    ControlHandle versionText;
    ControlHandle upgradeButton; // its caption is the upgrade prompt
    ControlHandle programStatusText;
    ControlHandle programStateText;
    ControlHandle programmingGroup;
    ControlHandle programStatusLabel;
    ControlHandle programStateLabel;
    ControlHandle modeText;
    ControlHandle firmwareCombo;
    ControlHandle displayVersionsButton;
    ControlHandle printLogosButton; // disabled and hidden for the dialog's whole life
    ControlHandle clearLogosButton; // disabled and hidden for the dialog's whole life
    ControlHandle findEthernetButton;
    ControlHandle ipAddressLabel;
    ControlHandle ethernetGroup;
    ControlHandle ethernetPortLabel;
    ControlHandle ipOctet1Edit;
    ControlHandle ipOctet2Edit;
    ControlHandle ipOctet3Edit;
    ControlHandle ipOctet4Edit;
    ControlHandle tcpPortEdit;
};

extern DialogControls dialogControls;

constexpr int ETHERNET_FIELD_SIZE = 256;

// The printer's address and TCP port as the user typed them: decimal texts, 8-bit and
// NUL-terminated, never parsed here. Each field mirrors one edit control.
struct EthernetSettings {
    char ipOctet1[ETHERNET_FIELD_SIZE]; // edit 1037
    char ipOctet2[ETHERNET_FIELD_SIZE]; // edit 1036
    char ipOctet3[ETHERNET_FIELD_SIZE]; // edit 1035
    char ipOctet4[ETHERNET_FIELD_SIZE]; // edit 1034
    char tcpPort[ETHERNET_FIELD_SIZE];  // edit 1038
};

extern EthernetSettings ethernetSettings;

// Looks up every handle of dialogControls (one getControl each, in declaration order), then
// disables printLogosButton and clearLogosButton.
void bindDialogControls(DialogWindow dialog);

// Disable or enable the six update controls, in the order upgradeButton, programStatusText,
// programStateText, programmingGroup, programStateLabel, programStatusLabel.
void disableUpdateControls(DialogControls* controls);
void enableUpdateControls(DialogControls* controls);

// Enables the nine Ethernet controls of dialogControls without showing them: a control that an
// earlier probe hid stays hidden.
void enableEthernetControls();

// Puts the default address 192.168.0.1 and port 10001 into ethernetSettings, then sets the five
// edits from their fields. Each edit reports the change at once, and the dialog copies the same
// text back (readEditField).
void initEthernetDefaults();

// Copies the text of the dialog's edit controlId into destination, one of the fields of
// ethernetSettings, and logs it. An edit holding no text leaves the field as it was; at most
// 255 characters are taken. Returns whether the field was written.
bool readEditField(DialogWindow dialog, int controlId, char* destination);

// The field of ethernetSettings that mirrors the edit controlId, or null for any other control.
char* ethernetFieldOfEdit(int controlId);
