#include "identity/firmware_catalogue.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

struct StoredSlot {
    const char* version;
    uint32_t size;
};

// The labels and sizes the catalogue must hold, in catalogue order.
static const StoredSlot storedSlots[FIRMWARE_SLOT_COUNT] = {
    {"V1.12", 393265},  {"V2.01", 524681},  {"V1.00", 393265}, {"V2.02", 524681},
    {"V1.21", 393265},  {"V2.06c", 524681}, {"V1.01", 393265}, {"V2.06a", 524681},
    {"V1.05", 393265},  {"V2.02a", 524681}, {"V1.05", 393265}, {"V2.01b", 524681},
    {"V3.04a", 162120}, {"V4.04a", 170152},
};

TEST(FirmwareCatalogue, HoldsFourteenSlotsWithTheirLabelsAndSizes) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_STREQ(FirmwareCatalogue[slot].version, storedSlots[slot].version);
        EXPECT_EQ(FirmwareCatalogue[slot].size, storedSlots[slot].size);
        EXPECT_LE(FirmwareCatalogue[slot].size, FIRMWARE_IMAGE_CAPACITY);
        EXPECT_EQ(firmwareBuildRecords[slot].size, storedSlots[slot].size);
        EXPECT_EQ(strlen(firmwareBuildRecords[slot].sha256), 64u);
    }
}

TEST(FirmwareCatalogue, EachSlotHoldsItsOwnPlaceholderImage) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        const FirmwareImage& image = FirmwareCatalogue[slot];
        std::string header(reinterpret_cast<const char*>(image.bytes), 80);
        EXPECT_NE(header.find("slot " + std::to_string(slot) + "\nlabel " + image.version),
                  std::string::npos);
        // Past the image the slot is padded with zero bytes up to the capacity.
        for (uint32_t i = image.size; i < FIRMWARE_IMAGE_CAPACITY; ++i) {
            ASSERT_EQ(image.bytes[i], 0) << "at byte " << i;
        }
    }
}
