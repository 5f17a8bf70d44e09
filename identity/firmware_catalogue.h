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

// What the build recorded of each slot's image: its size, the SHA-256 of those bytes in
// lower-case hexadecimal, and its kind from the manifest. The flash writer rounds size down, so
// these keep the original. A placeholder image is no printer's firmware: it is written only to
// the printer simulator.
struct FirmwareBuildRecord {
    uint32_t size;
    const char* sha256;
    bool placeholder;
};

extern const FirmwareBuildRecord firmwareBuildRecords[FIRMWARE_SLOT_COUNT];

// True when any slot holds a placeholder image: the program then carries no real firmware for
// that slot's printers.
bool firmwareCatalogueHoldsPlaceholders();

// Said by "Display Versions" and by the command line's --version when the build carries
// placeholder images.
constexpr const char PLACEHOLDER_FIRMWARE_NOTICE[] =
    "Placeholder images: written only to the printer simulator, never to a real printer.";

// Room for the "Display Versions" text with every label at the longest the build allows.
constexpr size_t INSTALLED_VERSIONS_TEXT_SIZE = 512 + FIRMWARE_SLOT_COUNT * FIRMWARE_VERSION_SIZE;

// Composes the list of the stored versions, one line per slot in the order VRA, VRE, VRK-54,
// MZ-54, each line ended by a line feed, into buffer (cut to fit, always terminated), followed
// by an empty line and the placeholder notice when the build carries placeholders. Returns the
// length of the text.
size_t composeInstalledVersions(char* buffer, size_t size);
