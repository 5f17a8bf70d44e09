#pragma once

// The fourteen firmware images built into the program.

#include <cstddef>
#include <cstdint>

constexpr uint32_t FIRMWARE_IMAGE_CAPACITY = 524684;
constexpr int FIRMWARE_SLOT_COUNT = 14;
constexpr int FIRMWARE_VERSION_SIZE = 128;

// One catalogue slot. Only the first size bytes of bytes are meaningful; the program never
// interprets them.
struct FirmwareImage {
    char version[FIRMWARE_VERSION_SIZE];
    uint32_t size;
    uint8_t bytes[FIRMWARE_IMAGE_CAPACITY];
};

// Laid out by the build from the files in firmware/, in catalogue order. The only field that
// changes at run time is the size of a slot the flash writer streams (rounded down to even).
extern "C" FirmwareImage FirmwareCatalogue[FIRMWARE_SLOT_COUNT];

// The image chosen for the attached printer; null until a probe finds a ready printer.
extern FirmwareImage* currentImage;

// What the build recorded of each slot's image: its size and the SHA-256 of those bytes, in
// lower-case hexadecimal. The flash writer rounds size down, so these keep the original.
struct FirmwareBuildRecord {
    uint32_t size;
    const char* sha256;
};

extern const FirmwareBuildRecord firmwareBuildRecords[FIRMWARE_SLOT_COUNT];

// Room for the "Display Versions" text with every label at the longest the build allows.
constexpr size_t INSTALLED_VERSIONS_TEXT_SIZE = 512 + FIRMWARE_SLOT_COUNT * FIRMWARE_VERSION_SIZE;

// Composes the list of the stored versions, one line per slot in the order VRA, VRE, VRK-54,
// MZ-54, each line ended by a line feed, into buffer (cut to fit, always terminated). Returns
// the length of the text.
size_t composeInstalledVersions(char* buffer, size_t size);

// Shows that list in a modal message box captioned "Versions". The dialog's "Display Versions".
void showInstalledVersions();
