// Feeds arbitrary device ids to the parsers that a probe runs on every printer's answer.
// The record must come out with every text terminated inside its field and every number one
// the rest of the program knows; the sanitizers catch any read or write out of bounds. The
// parsers are pure: nothing to silence.

#include "identity/device_id.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

static bool terminatedInside(const char (&field)[PRINTER_TEXT_SIZE]) {
    return memchr(field, '\0', sizeof field) != nullptr;
}

static bool within(int32_t value, int32_t first, int32_t last) {
    return value >= first && value <= last;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    memset(&printerData, 0, sizeof printerData);
    // The route varies with the input, so that every port label is reached.
    activeConnection = static_cast<int32_t>(size % 6) - 1;

    size_t count = size < sizeof printerData.deviceId ? size : sizeof printerData.deviceId - 1;
    memcpy(printerData.deviceId, data, count);
    printerData.deviceId[count] = '\0';

    parseModel(&printerData);
    setPortLabel(&printerData);
    parseFirmwareVersion(&printerData);

    if (!terminatedInside(printerData.modelName) || !terminatedInside(printerData.portName) ||
        !terminatedInside(printerData.firmwareVersion) ||
        !within(printerData.language, LANG_G, LANG_RASTER) ||
        !within(printerData.family, FAMILY_VRA, FAMILY_OTHER) ||
        !within(printerData.boardType, BOARD_LOGIC_I, BOARD_MZ54_DUAL)) {
        __builtin_trap();
    }
    return 0;
}
