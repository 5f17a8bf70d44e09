#include "identity/firmware_catalogue.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

// The build lays each slot out as this record; keep the two in step.
static_assert(offsetof(FirmwareImage, size) == FIRMWARE_VERSION_SIZE);
static_assert(offsetof(FirmwareImage, bytes) == FIRMWARE_VERSION_SIZE + 4);
static_assert(sizeof(FirmwareImage) == FIRMWARE_VERSION_SIZE + 4 + FIRMWARE_IMAGE_CAPACITY);

FirmwareImage* currentImage;

constexpr int NO_SLOT = -1;

// One line of the version list: its fixed text and the slot whose label follows it.
struct VersionListLine {
    const char* text;
    int slot;
};

// The blanks line the board names up in the message box. The two board II raster lines read
// alike; only their labels tell the images apart.
static const VersionListLine versionListLines[] = {
    {"Installed versions:", NO_SLOT},
    {"", NO_SLOT},
    {"VRA G    Logic Bd I  \t- ", 2},
    {"VRA G    Logic Bd II \t- ", 3},
    {"VRA HRM Logic Bd I  \t- ", 6},
    {"VRA HRM Logic Bd II \t- ", 7},
    {"", NO_SLOT},
    {"VRE G    Logic Bd I  \t- ", 0},
    {"VRE G    Logic Bd II \t- ", 1},
    {"VRE HRM Logic Bd I  \t- ", 4},
    {"VRE HRM Logic Bd II \t- ", 5},
    {"", NO_SLOT},
    {"VRK-54 Logic Bd I  (Std)\t- ", 8},
    {"VRK-54 Logic Bd II (Std)\t- ", 9},
    {"VRK-54 Logic Bd I  (Qorvel) \t- ", 10},
    {"VRK-54 Logic Bd II (Std)\t- ", 11},
    {"MZ-54  Standard             \t- ", 12},
    {"MZ-54 IBM Dual Driver       \t- ", 13},
};

bool firmwareCatalogueHoldsPlaceholders() {
    for (const FirmwareBuildRecord& record : firmwareBuildRecords) {
        if (record.placeholder) {
            return true;
        }
    }
    return false;
}

// Appends one line to the text in buffer, cut to fit; returns the new length.
static size_t appendLine(char* buffer, size_t size, size_t used, const char* text,
                         const char* label) {
    int written = snprintf(buffer + used, size - used, "%s%s\n", text, label);
    return written < 0 ? used : std::min(used + static_cast<size_t>(written), size - 1);
}

size_t composeInstalledVersions(char* buffer, size_t size) {
    if (size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    size_t used = 0;
    for (const VersionListLine& line : versionListLines) {
        const char* label = line.slot == NO_SLOT ? "" : FirmwareCatalogue[line.slot].version;
        used = appendLine(buffer, size, used, line.text, label);
    }
    if (firmwareCatalogueHoldsPlaceholders()) {
        used = appendLine(buffer, size, used, "", "");
        used = appendLine(buffer, size, used, PLACEHOLDER_FIRMWARE_NOTICE, "");
    }
    return used;
}
