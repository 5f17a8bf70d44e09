#pragma once

// What the probe tests read back from the dialog.

#include "resources/resource.h"
#include "tests/doubles/dialog_probe_test.h"

#include <string>
#include <vector>

typedef std::vector<std::string> Texts;

// The identifiers of the six update controls and the nine Ethernet controls.
const std::vector<int> UPDATE_CONTROLS = {IDC_UPGRADE_BUTTON,      IDC_PROGRAM_STATUS_TEXT,
                                          IDC_PROGRAM_STATE_TEXT,  IDC_PROGRAMMING_GROUP,
                                          IDC_PROGRAM_STATE_LABEL, IDC_PROGRAM_STATUS_LABEL};
const std::vector<int> ETHERNET_CONTROLS = {
    IDC_ETHERNET_GROUP, IDC_FIND_ETHERNET_BUTTON, IDC_IP_OCTET1_EDIT,
    IDC_IP_OCTET2_EDIT, IDC_IP_OCTET3_EDIT,       IDC_IP_OCTET4_EDIT,
    IDC_TCP_PORT_EDIT,  IDC_IP_ADDRESS_LABEL,     IDC_ETHERNET_PORT_LABEL};

// Model, port, version, language and board texts, in that order.
inline Texts identityTexts(const DialogModelDouble& dialog) {
    return {dialog.text(IDC_MODEL_TEXT), dialog.text(IDC_PORT_TEXT), dialog.text(IDC_VERSION_TEXT),
            dialog.text(IDC_LANGUAGE_TEXT), dialog.text(IDC_BOARD_TEXT)};
}

// Enabled and visible state of each control, for comparing a group before and after.
inline std::vector<std::pair<bool, bool>> states(const DialogModelDouble& dialog,
                                                 const std::vector<int>& ids) {
    std::vector<std::pair<bool, bool>> result;
    for (int id : ids) {
        result.push_back({dialog.enabled(id), dialog.visible(id)});
    }
    return result;
}

inline std::vector<std::pair<bool, bool>> allStates(size_t count, bool enabled, bool visible) {
    return std::vector<std::pair<bool, bool>>(count, {enabled, visible});
}
