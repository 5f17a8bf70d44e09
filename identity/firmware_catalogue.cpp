#include "identity/firmware_catalogue.h"

#include <cstddef>

// The build lays each slot out as this record; keep the two in step.
static_assert(offsetof(FirmwareImage, size) == FIRMWARE_VERSION_SIZE);
static_assert(offsetof(FirmwareImage, bytes) == FIRMWARE_VERSION_SIZE + 4);
static_assert(sizeof(FirmwareImage) == FIRMWARE_VERSION_SIZE + 4 + FIRMWARE_IMAGE_CAPACITY);

FirmwareImage* currentImage;
