#include "identity/device_id.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

static const char MODEL_KEY[] = "MDL:";
static const char FIRMWARE_KEY[] = "FWV:";
static const char RASTER_MODEL[] = "VRK-54";

// The device id text, ending at its NUL or at the end of the field, whichever comes first.
static std::string_view deviceIdText(const PrinterData* record) {
    return std::string_view(record->deviceId, strnlen(record->deviceId, sizeof record->deviceId));
}

// The text after the first occurrence of key, up to the end of the device id; false when the
// key does not occur.
static bool findValueIn(std::string_view text, std::string_view key, std::string_view* value) {
    size_t position = text.find(key);
    if (position == std::string_view::npos) {
        return false;
    }
    *value = text.substr(position + key.size());
    return true;
}

static bool findFieldValue(const PrinterData* record, std::string_view key,
                           std::string_view* value) {
    return findValueIn(deviceIdText(record), key, value);
}

// Copies text into a field of the given capacity, cut to fit, and terminates it. Returns what
// was stored.
static std::string_view storeText(char* field, size_t capacity, std::string_view text) {
    size_t count = std::min(text.size(), capacity - 1);
    memcpy(field, text.data(), count);
    field[count] = '\0';
    return std::string_view(field, count);
}

static bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The board digit of a version text: its first decimal digit, when that is 1 to 4.
static bool namesBoard(std::string_view version) {
    size_t digit = version.find_first_of("0123456789");
    return digit != std::string_view::npos && version[digit] >= '1' && version[digit] <= '4';
}

static int32_t familyOfModel(std::string_view model) {
    // VRA wins over VRE when a model names both.
    if (contains(model, "VRA")) {
        return FAMILY_VRA;
    }
    if (contains(model, "VRE")) {
        return FAMILY_VRE;
    }
    return FAMILY_OTHER;
}

bool deviceIdNamesFamily(const char* deviceId) {
    std::string_view rest;
    if (!findValueIn(std::string_view(deviceId, strnlen(deviceId, PRINTER_TEXT_SIZE)), MODEL_KEY,
                     &rest)) {
        return false;
    }
    return contains(rest, RASTER_MODEL) ||
           familyOfModel(rest.substr(0, rest.find(';'))) != FAMILY_OTHER;
}

bool parseModel(PrinterData* record) {
    record->language = LANG_HRM;
    std::string_view rest;
    if (!findFieldValue(record, MODEL_KEY, &rest)) {
        return false;
    }
    // Raster printers may name themselves in any later field, not only in the model.
    if (contains(rest, RASTER_MODEL)) {
        record->family = FAMILY_VRK;
        storeText(record->modelName, sizeof record->modelName, RASTER_MODEL);
        record->language = LANG_RASTER;
        return true;
    }
    std::string_view model =
        storeText(record->modelName, sizeof record->modelName, rest.substr(0, rest.find(';')));
    // A 'G' names the G command language only after the model's first character.
    if (model.size() > 1 && contains(model.substr(1), "G")) {
        record->language = LANG_G;
    }
    record->family = familyOfModel(model);
    return true;
}

bool parseFirmwareVersion(PrinterData* record) {
    std::string_view rest;
    if (!findFieldValue(record, FIRMWARE_KEY, &rest)) {
        storeText(record->firmwareVersion, sizeof record->firmwareVersion, "Not found");
        return false;
    }
    std::string_view version = storeText(record->firmwareVersion, sizeof record->firmwareVersion,
                                         rest.substr(0, rest.find(' ')));
    // Only the first digit counts: the major version names the board it was built for.
    if (namesBoard(version)) {
        record->boardType = BOARD_LOGIC_I + (version[version.find_first_of("0123456789")] - '1');
    }
    return true;
}

bool deviceIdIdentifiesPrinter(const PrinterData* record, char* reason, size_t size) {
    std::string_view model;
    if (!findFieldValue(record, MODEL_KEY, &model) ||
        (!contains(model, RASTER_MODEL) && model.substr(0, model.find(';')).empty())) {
        snprintf(reason, size, "No firmware offered: the printer's device id names no model");
        return false;
    }
    std::string_view version;
    if (!findFieldValue(record, FIRMWARE_KEY, &version)) {
        snprintf(reason, size,
                 "No firmware offered: the printer's device id gives no firmware version");
        return false;
    }
    version = version.substr(0, version.find(' '));
    if (!namesBoard(version)) {
        version = version.substr(0, version.find(';'));
        snprintf(reason, size, "No firmware offered: firmware version %.*s names no known board",
                 static_cast<int>(std::min<size_t>(version.size(), 64)), version.data());
        return false;
    }
    return true;
}

bool versionRunsImage(const char* version, const char* label) {
    size_t length = strlen(label);
    if (length == 0 || strncmp(version, label, length) != 0) {
        return false;
    }
    unsigned char next = static_cast<unsigned char>(version[length]);
    return next == '\0' || (!isalnum(next) && next != '.');
}

bool deviceIdNamesSimulator(const PrinterData* record) {
    static const std::string_view MAKER_KEY = "MFG:";
    std::string_view text = deviceIdText(record);
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find(';', start), text.size());
        std::string_view field = text.substr(start, end - start);
        if (field.substr(0, MAKER_KEY.size()) == MAKER_KEY) {
            return field.substr(MAKER_KEY.size()) == "SIM";
        }
        start = end + 1;
    }
    return false;
}

const char* boardName(int32_t boardType) {
    static const char* const names[] = {"LOGIC BD I", "LOGIC BD II ROHS", "MZ54 STANDARD",
                                        "MZ54 DualDriver"};
    if (boardType < 0 || boardType >= static_cast<int32_t>(sizeof names / sizeof names[0])) {
        return nullptr;
    }
    return names[boardType];
}

const char* portLabel(int32_t route) {
    switch (route) {
    case PORT_TYPE_PARALLEL:
        return "PARALLEL";
    case PORT_TYPE_SERIAL:
        return "SERIAL";
    case PORT_TYPE_ETHERNET:
        return "ETHERNET";
    default:
        return "USB";
    }
}

void setPortLabel(PrinterData* record) {
    storeText(record->portName, sizeof record->portName, portLabel(activeConnection));
}

void setPrinterRoute(PrinterData* record, int32_t route) {
    activeConnection = route;
    record->portType = route;
    if (route == PORT_TYPE_NONE) {
        record->portName[0] = '\0';
    } else {
        setPortLabel(record);
    }
}
