/* Identifiers of the program's resources and of the update dialog's controls.
   Plain macros: the resource compiler reads this file as well as the C++ compiler. */
#ifndef TICKETFLASH_RESOURCES_RESOURCE_H
#define TICKETFLASH_RESOURCES_RESOURCE_H

/* Strings, all in language 0x409. Only the first three are loaded. */
#define IDS_MAIN_WINDOW_TITLE 103
#define IDS_MAIN_WINDOW_TEXT 106
#define IDS_MAIN_WINDOW_CLASS 109
#define IDS_TEST_STRING 110
#define IDS_LOGIC_BOARD_I 111
#define IDS_LOGIC_BOARD_II 112

/* The main window's menu, accelerators and icons, and the update dialog. */
#define IDR_MAIN_MENU 109
#define IDR_ACCELERATORS 109
#define IDI_LARGE_ICON 107
#define IDI_SMALL_ICON 108
#define IDD_UPDATE_DIALOG 103

/* Commands of the main window's menu and accelerators. */
#define IDM_ABOUT 104
#define IDM_EXIT 105

/* The update dialog's controls. Items that nothing addresses share the identifier -1. */
#define IDC_UNADDRESSED (-1)
#define IDC_EXIT_BUTTON 1012
#define IDC_PROBE_STATUS_TEXT 1013
#define IDC_MODEL_TEXT 1014
#define IDC_PORT_TEXT 1015
#define IDC_BOARD_TEXT 1016
#define IDC_VERSION_TEXT 1017
#define IDC_UPGRADE_BUTTON 1018
#define IDC_PROGRAM_STATUS_TEXT 1019
#define IDC_PROGRAM_STATE_TEXT 1021
#define IDC_REFRESH_BUTTON 1022
#define IDC_PROGRAMMING_GROUP 1023
#define IDC_PROGRAM_STATUS_LABEL 1024
#define IDC_PROGRAM_STATE_LABEL 1025
#define IDC_LANGUAGE_TEXT 1026
#define IDC_STATUS_BUTTON 1027
#define IDC_DISPLAY_VERSIONS_BUTTON 1028
#define IDC_MODE_TEXT 1029
#define IDC_FIRMWARE_COMBO 1031
#define IDC_PRINT_LOGOS_BUTTON 1032
#define IDC_CLEAR_LOGOS_BUTTON 1033
#define IDC_IP_OCTET4_EDIT 1034
#define IDC_IP_OCTET3_EDIT 1035
#define IDC_IP_OCTET2_EDIT 1036
#define IDC_IP_OCTET1_EDIT 1037
#define IDC_TCP_PORT_EDIT 1038
#define IDC_FIND_ETHERNET_BUTTON 1039
#define IDC_ETHERNET_GROUP 1040
#define IDC_ETHERNET_PORT_LABEL 1041
#define IDC_IP_ADDRESS_LABEL 1042

#endif
