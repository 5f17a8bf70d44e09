#pragma once

// The one printer record and the constants that classify a printer.

#include <cstdint>

// How the printer is connected: printerData.portType and activeConnection.
constexpr int32_t PORT_TYPE_USB = 0;
constexpr int32_t PORT_TYPE_PARALLEL = 1;
constexpr int32_t PORT_TYPE_SERIAL = 2; // a label only; nothing detects a serial printer
constexpr int32_t PORT_TYPE_ETHERNET = 3;
constexpr int32_t PORT_TYPE_NONE = 4;

// The logic board, from the first digit of the firmware version.
constexpr int32_t BOARD_LOGIC_I = 0;
constexpr int32_t BOARD_LOGIC_II = 1;
constexpr int32_t BOARD_MZ54_STANDARD = 2;
constexpr int32_t BOARD_MZ54_DUAL = 3;

// The command language, from the model text.
constexpr int32_t LANG_G = 0;
constexpr int32_t LANG_HRM = 1;
constexpr int32_t LANG_RASTER = 2;
constexpr int32_t LANG_NOT_FOUND = 3; // never parsed; the display and the selection handle it

// The printer series, from the model text.
constexpr int32_t FAMILY_VRA = 0;
constexpr int32_t FAMILY_VRE = 1;
constexpr int32_t FAMILY_VRK = 2;
constexpr int32_t FAMILY_OTHER = 3;

constexpr int PRINTER_TEXT_SIZE = 1024;
constexpr int STATUS_CACHE_SIZE = 1024;

// What the program knows of the attached printer. One global instance, all zero at start and
// never reset: each probe overwrites what it finds and leaves the rest as it was.
struct PrinterData {
    char modelName[PRINTER_TEXT_SIZE];
    char portName[PRINTER_TEXT_SIZE];
    char firmwareVersion[PRINTER_TEXT_SIZE];
    char deviceId[PRINTER_TEXT_SIZE];
    int32_t portType;
    int32_t boardType;
    int32_t language;
    int32_t family;
    int32_t variant; // 1 for the first firmware combo entry, 2 or 3 for the second, 0 at start
    uint8_t statusCache[STATUS_CACHE_SIZE]; // the last status report ('C', 'E', 'N' or 'S')
    uint32_t statusCacheLength;
};

extern PrinterData printerData;

// Whether the last probe's own device id identified the printer (deviceIdIdentifiesPrinter):
// cleared as each probe starts, so nothing an earlier probe left in printerData counts. Firmware
// is offered and written only while it holds.
extern bool printerIdentified;

// The route of the last connection found: set by the local discovery and by the probe over TCP.
extern int32_t activeConnection;
