/* The update dialog's template: the one description of dialog 103 from which both the
   resource script (ticketflash.rc) and the in-memory dialog model are built. */
#ifndef TICKETFLASH_RESOURCES_DIALOG_TEMPLATE_H
#define TICKETFLASH_RESOURCES_DIALOG_TEMPLATE_H

#include "resources/resource.h"

/* DS_3DLOOK, DS_SETFONT, DS_MODALFRAME, WS_SYSMENU and WS_CAPTION; not WS_VISIBLE: the modal
   dialog call shows the dialog once its initialisation has returned. */
#define UPDATE_DIALOG_STYLE 0x00C800C4
#define UPDATE_DIALOG_CAPTION "V1.70 01/17/2011"
#define UPDATE_DIALOG_FONT_NAME "System"
#define UPDATE_DIALOG_FONT_SIZE 8
#define UPDATE_DIALOG_X 22
#define UPDATE_DIALOG_Y 17
#define UPDATE_DIALOG_WIDTH 395
#define UPDATE_DIALOG_HEIGHT 226

/* The 35 items in tab and z order: identifier, class, text, x, y, width, height (dialog
   units) and style word. The style words, all with WS_CHILD:
     0x50010000 push button, visible, tab stop     0x58010000 the same, disabled
     0x40010000 push button, tab stop, hidden      0x50000007 group box, visible
     0x58000007 group box, visible, disabled       0x50021000 sunken value display, group
     0x50001000 sunken value display               0x50020000 label, group
     0x58020000 label, group, disabled             0x50210003 drop-down list, vertical scroll
     0x58810080 single-line edit with border and horizontal scrolling, disabled
   A combo box's height is the height of its dropped-down list. */
#define UPDATE_DIALOG_ITEMS(ITEM)                                                                  \
    ITEM(IDC_EXIT_BUTTON, BUTTON, "Exit", 346, 198, 34, 16, 0x50010000)                            \
    ITEM(IDC_PROBE_STATUS_TEXT, STATIC, "Static", 9, 13, 204, 10, 0x50021000)                      \
    ITEM(IDC_MODEL_TEXT, STATIC, "", 17, 45, 47, 10, 0x50001000)                                   \
    ITEM(IDC_UNADDRESSED, BUTTON, "Printer", 9, 30, 70, 36, 0x50000007)                            \
    ITEM(IDC_PORT_TEXT, STATIC, "", 95, 46, 47, 9, 0x50021000)                                     \
    ITEM(IDC_UNADDRESSED, BUTTON, "Port", 85, 30, 64, 36, 0x50000007)                              \
    ITEM(IDC_UNADDRESSED, BUTTON, "Current Version", 310, 30, 71, 36, 0x50000007)                  \
    ITEM(IDC_BOARD_TEXT, STATIC, "", 231, 45, 66, 10, 0x50021000)                                  \
    ITEM(IDC_VERSION_TEXT, STATIC, "", 316, 45, 58, 9, 0x50021000)                                 \
    ITEM(IDC_UPGRADE_BUTTON, BUTTON, "", 9, 83, 263, 24, 0x58010000)                               \
    ITEM(IDC_PROGRAMMING_GROUP, BUTTON, "Programming Status", 8, 130, 207, 57, 0x50000007)         \
    ITEM(IDC_PROGRAM_STATUS_TEXT, STATIC, "", 77, 149, 123, 9, 0x50021000)                         \
    ITEM(IDC_PROGRAM_STATUS_LABEL, STATIC, "Program Status", 16, 148, 60, 10, 0x50020000)          \
    ITEM(IDC_PROGRAM_STATE_TEXT, STATIC, "", 78, 167, 123, 10, 0x50021000)                         \
    ITEM(IDC_PROGRAM_STATE_LABEL, STATIC, "Program State", 18, 166, 54, 9, 0x50020000)             \
    ITEM(IDC_REFRESH_BUTTON, BUTTON, "Refresh data", 334, 10, 49, 15, 0x50010000)                  \
    ITEM(IDC_UNADDRESSED, BUTTON, "Language", 155, 30, 59, 36, 0x50000007)                         \
    ITEM(IDC_LANGUAGE_TEXT, STATIC, "", 163, 46, 42, 9, 0x50021000)                                \
    ITEM(IDC_UNADDRESSED, BUTTON, "Logic Board", 222, 29, 83, 37, 0x50000007)                      \
    ITEM(IDC_STATUS_BUTTON, BUTTON, "STATUS", 299, 197, 40, 17, 0x40010000)                        \
    ITEM(IDC_DISPLAY_VERSIONS_BUTTON, BUTTON, "Display Versions", 9, 196, 76, 17, 0x50010000)      \
    ITEM(IDC_UNADDRESSED, STATIC, "Mode", 218, 13, 22, 10, 0x50020000)                             \
    ITEM(IDC_MODE_TEXT, STATIC, "", 239, 12, 86, 11, 0x50021000)                                   \
    ITEM(IDC_FIRMWARE_COMBO, COMBOBOX, "", 278, 89, 104, 50, 0x50210003)                           \
    ITEM(IDC_PRINT_LOGOS_BUTTON, BUTTON, "Print Logos", 117, 196, 76, 17, 0x50010000)              \
    ITEM(IDC_CLEAR_LOGOS_BUTTON, BUTTON, "Clear Logos", 221, 197, 76, 17, 0x50010000)              \
    ITEM(IDC_ETHERNET_GROUP, BUTTON, "Ethernet", 221, 131, 160, 56, 0x58000007)                    \
    ITEM(IDC_ETHERNET_PORT_LABEL, STATIC, "Port", 247, 162, 16, 11, 0x58020000)                    \
    ITEM(IDC_IP_OCTET4_EDIT, EDIT, "", 349, 142, 20, 12, 0x58810080)                               \
    ITEM(IDC_IP_OCTET3_EDIT, EDIT, "", 323, 142, 20, 12, 0x58810080)                               \
    ITEM(IDC_IP_OCTET2_EDIT, EDIT, "", 296, 142, 20, 12, 0x58810080)                               \
    ITEM(IDC_IP_OCTET1_EDIT, EDIT, "", 270, 142, 20, 12, 0x58810080)                               \
    ITEM(IDC_TCP_PORT_EDIT, EDIT, "", 270, 162, 28, 12, 0x58810080)                                \
    ITEM(IDC_IP_ADDRESS_LABEL, STATIC, "IP address", 228, 144, 37, 9, 0x58020000)                  \
    ITEM(IDC_FIND_ETHERNET_BUTTON, BUTTON, "Find Ethernet Printer", 263, 115, 83, 12, 0x58010000)

#ifndef RC_INVOKED

#include <cstdint>

struct DialogItemTemplate {
    int id;
    const char* className; // "BUTTON", "STATIC", "EDIT" or "COMBOBOX"
    const char* text;
    int16_t x, y, width, height;
    uint32_t style;
};

#define UPDATE_DIALOG_ITEM_RECORD(id, className, text, x, y, width, height, style)                 \
    {id, #className, text, x, y, width, height, style},
constexpr DialogItemTemplate updateDialogItems[] = {UPDATE_DIALOG_ITEMS(UPDATE_DIALOG_ITEM_RECORD)};
#undef UPDATE_DIALOG_ITEM_RECORD

constexpr int UPDATE_DIALOG_ITEM_COUNT = sizeof updateDialogItems / sizeof updateDialogItems[0];
static_assert(UPDATE_DIALOG_ITEM_COUNT == 35);

// The two style bits that the dialog's state starts from (WS_VISIBLE and WS_DISABLED).
constexpr uint32_t ITEM_STYLE_VISIBLE = 0x10000000;
constexpr uint32_t ITEM_STYLE_DISABLED = 0x08000000;

#endif
#endif
