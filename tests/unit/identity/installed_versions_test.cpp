#include "identity/firmware_catalogue.h"
#include "tests/doubles/program_state.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

// The list as the user must see it with the stored labels.
static const char STORED_VERSION_LIST[] = "Installed versions:\n"
                                          "\n"
                                          "VRA G    Logic Bd I  \t- V1.00\n"
                                          "VRA G    Logic Bd II \t- V2.02\n"
                                          "VRA HRM Logic Bd I  \t- V1.01\n"
                                          "VRA HRM Logic Bd II \t- V2.06a\n"
                                          "\n"
                                          "VRE G    Logic Bd I  \t- V1.12\n"
                                          "VRE G    Logic Bd II \t- V2.01\n"
                                          "VRE HRM Logic Bd I  \t- V1.21\n"
                                          "VRE HRM Logic Bd II \t- V2.06c\n"
                                          "\n"
                                          "VRK-54 Logic Bd I  (Std)\t- V1.05\n"
                                          "VRK-54 Logic Bd II (Std)\t- V2.02a\n"
                                          "VRK-54 Logic Bd I  (Qorvel) \t- V1.05\n"
                                          "VRK-54 Logic Bd II (Std)\t- V2.01b\n"
                                          "MZ-54  Standard             \t- V3.04a\n"
                                          "MZ-54 IBM Dual Driver       \t- V4.04a\n"
                                          "\n"
                                          "Placeholder images: written only to the printer "
                                          "simulator, never to a real printer.\n";

class InstalledVersionsTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
};

TEST_F(InstalledVersionsTest, ListShowsEveryStoredLabelInDisplayOrder) {
    char text[INSTALLED_VERSIONS_TEXT_SIZE];
    EXPECT_EQ(composeInstalledVersions(text, sizeof text), 560u);
    EXPECT_EQ(std::string(text), STORED_VERSION_LIST);
    EXPECT_EQ(strlen(STORED_VERSION_LIST), 560u);
}

TEST_F(InstalledVersionsTest, LongestLabelsAllowedStillFitTheList) {
    char saved[FIRMWARE_SLOT_COUNT][FIRMWARE_VERSION_SIZE];
    const std::string label(FIRMWARE_VERSION_SIZE - 1, 'W');
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        memcpy(saved[slot], FirmwareCatalogue[slot].version, FIRMWARE_VERSION_SIZE);
        memcpy(FirmwareCatalogue[slot].version, label.c_str(), label.size() + 1);
    }
    char text[INSTALLED_VERSIONS_TEXT_SIZE];
    size_t length = composeInstalledVersions(text, sizeof text);
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        memcpy(FirmwareCatalogue[slot].version, saved[slot], FIRMWARE_VERSION_SIZE);
    }
    // The stored labels take 76 of the 560 characters.
    EXPECT_EQ(length, 560 - 76 + FIRMWARE_SLOT_COUNT * label.size());
    EXPECT_NE(std::string(text).find(label + "\n\nPlaceholder images"), std::string::npos);
}

TEST_F(InstalledVersionsTest, SmallBufferIsCutAndTerminated) {
    char text[21];
    memset(text, '#', sizeof text);
    EXPECT_EQ(composeInstalledVersions(text, sizeof text), 20u);
    EXPECT_EQ(std::string(text), std::string(STORED_VERSION_LIST, 20));
    EXPECT_EQ(composeInstalledVersions(text, 0), 0u);
}
