#include "identity/firmware_catalogue.h"

#include <cstring>
#include <firmware_manifest.h>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

static_assert(std::size(manifestSlots) == FIRMWARE_SLOT_COUNT);

TEST(FirmwareCatalogue, HoldsEachSlotWithTheLabelAndSizeOfTheManifest) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_STREQ(FirmwareCatalogue[slot].version, manifestSlots[slot].label);
        EXPECT_EQ(FirmwareCatalogue[slot].size, manifestSlots[slot].size);
        EXPECT_LE(FirmwareCatalogue[slot].size, FIRMWARE_IMAGE_CAPACITY);
        EXPECT_EQ(firmwareBuildRecords[slot].size, manifestSlots[slot].size);
        EXPECT_EQ(strlen(firmwareBuildRecords[slot].sha256), 64u);
    }
}

// A placeholder image names its slot and label in its header; a release image is the maker's.
TEST(FirmwareCatalogue, EachSlotHoldsItsOwnImage) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        const FirmwareImage& image = FirmwareCatalogue[slot];
        std::string header(reinterpret_cast<const char*>(image.bytes), 80);
        EXPECT_EQ(header.find("slot " + std::to_string(slot) + "\nlabel " + image.version) !=
                      std::string::npos,
                  firmwareBuildRecords[slot].placeholder);
        // Past the image the slot is padded with zero bytes up to the capacity.
        for (uint32_t i = image.size; i < FIRMWARE_IMAGE_CAPACITY; ++i) {
            ASSERT_EQ(image.bytes[i], 0) << "at byte " << i;
        }
    }
}
