#include "identity/firmware_selection.h"
#include "tests/doubles/program_state.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

constexpr int NO_IMAGE = -1;
static const std::vector<std::string> NO_MESSAGES;
static const std::vector<std::string> RASTER_BOARD_I_MESSAGES = {"Raster printer", "LOGIC BD I"};
static const std::vector<std::string> BOARD_I_LANGUAGE_ERROR = {
    "ERROR - LOGIC BD I Firmware specified without HRM or G"};
static const std::vector<std::string> BOARD_II_LANGUAGE_ERROR = {
    "ERROR - LOGIC BD II Firmware specified without HRM or G"};
static const std::vector<std::string> BOARD_ERROR = {
    "ERROR - LOGIC BD I, LOGIC BD II, MZ54 or MZ54L NOT specified"};

struct SelectionCase {
    int32_t boardType;
    int32_t language;
    int32_t family;
    int32_t variant;
    int slot; // NO_IMAGE: false
    std::vector<std::string> messages;
};

static const SelectionCase selectionCases[] = {
    {BOARD_LOGIC_I, LANG_G, FAMILY_VRE, 0, 0, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_G, FAMILY_VRE, 2, 0, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_G, FAMILY_VRA, 1, 2, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_G, FAMILY_OTHER, 1, 2, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_G, FAMILY_VRK, 1, 2, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_HRM, FAMILY_VRE, 2, 4, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_HRM, FAMILY_VRA, 0, 6, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_HRM, FAMILY_OTHER, 1, 6, NO_MESSAGES},
    {BOARD_LOGIC_I, LANG_RASTER, FAMILY_VRK, 2, 10, RASTER_BOARD_I_MESSAGES},
    {BOARD_LOGIC_I, LANG_RASTER, FAMILY_VRK, 1, 8, RASTER_BOARD_I_MESSAGES},
    {BOARD_LOGIC_I, LANG_RASTER, FAMILY_VRK, 0, 8, RASTER_BOARD_I_MESSAGES},
    {BOARD_LOGIC_I, LANG_RASTER, FAMILY_VRE, 3, 8, RASTER_BOARD_I_MESSAGES},
    {BOARD_LOGIC_I, LANG_NOT_FOUND, FAMILY_VRE, 1, NO_IMAGE, BOARD_I_LANGUAGE_ERROR},
    {BOARD_LOGIC_I, 17, FAMILY_VRA, 1, NO_IMAGE, BOARD_I_LANGUAGE_ERROR},
    {BOARD_LOGIC_II, LANG_G, FAMILY_VRE, 1, 1, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_G, FAMILY_OTHER, 1, 3, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_HRM, FAMILY_VRE, 1, 5, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_HRM, FAMILY_VRA, 2, 7, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_RASTER, FAMILY_VRK, 2, 11, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_RASTER, FAMILY_VRK, 1, 9, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_RASTER, FAMILY_OTHER, 0, 9, NO_MESSAGES},
    {BOARD_LOGIC_II, LANG_NOT_FOUND, FAMILY_VRA, 1, NO_IMAGE, BOARD_II_LANGUAGE_ERROR},
    {BOARD_MZ54_STANDARD, LANG_G, FAMILY_VRE, 3, 13, NO_MESSAGES},
    {BOARD_MZ54_STANDARD, LANG_NOT_FOUND, FAMILY_OTHER, 1, 12, NO_MESSAGES},
    {BOARD_MZ54_STANDARD, LANG_RASTER, FAMILY_VRK, 2, 12, NO_MESSAGES},
    {BOARD_MZ54_DUAL, LANG_HRM, FAMILY_VRA, 1, 12, NO_MESSAGES},
    {BOARD_MZ54_DUAL, LANG_RASTER, FAMILY_VRK, 3, 13, NO_MESSAGES},
    {BOARD_MZ54_DUAL, LANG_G, FAMILY_VRE, 0, 12, NO_MESSAGES},
    {7, LANG_G, FAMILY_VRE, 3, 13, NO_MESSAGES},
    {-1, LANG_G, FAMILY_VRE, 1, NO_IMAGE, BOARD_ERROR},
    {INT32_MIN, LANG_RASTER, FAMILY_VRK, 3, NO_IMAGE, BOARD_ERROR},
};

class FirmwareSelectionTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
};

TEST_F(FirmwareSelectionTest, ClassificationPicksItsSlot) {
    for (const SelectionCase& test : selectionCases) {
        SCOPED_TRACE(::testing::Message()
                     << "board " << test.boardType << ", language " << test.language << ", family "
                     << test.family << ", variant " << test.variant);
        printerData.boardType = test.boardType;
        printerData.language = test.language;
        printerData.family = test.family;
        printerData.variant = test.variant;
        FirmwareChoice choice;

        EXPECT_EQ(chooseFirmwareSlot(&printerData, &choice), test.slot != NO_IMAGE);
        EXPECT_EQ(choice.slot, test.slot);
        EXPECT_EQ(std::vector<std::string>(choice.messages, choice.messages + choice.messageCount),
                  test.messages);
    }
}

// Variant lists -------------------------------------------------------------------------------

TEST_F(FirmwareSelectionTest, NameListsHoldTheirTwoEntriesThenEnd) {
    const std::vector<std::string> expected[] = {
        {"STD LOGIC BD I", "Qorvel LOGIC BD I", "END"},
        {"V2.02a  LOGIC BD II", "V2.01b LOGIC BD II", "END"},
        {"STD MZ-54 (V3.04a)", "MZ-54L Dual Driver (4.04a)", "END"},
    };
    const char* const* lists[] = {variantNamesLogicI, variantNamesLogicII, variantNamesMz54};
    for (int list = 0; list < 3; ++list) {
        EXPECT_EQ(std::vector<std::string>(lists[list], lists[list] + VARIANT_LIST_LENGTH),
                  expected[list]);
        EXPECT_EQ(variantEntryCount(lists[list]), 2);
    }
}

TEST_F(FirmwareSelectionTest, VersionListsReferToTheCatalogueLabels) {
    const struct {
        const char* const* list;
        int slots[2];
    } cases[] = {
        {variantVersionsLogicI, {8, 10}},
        {variantVersionsLogicII, {9, 11}},
        {variantVersionsMz54, {12, 13}},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(test.list[0], FirmwareCatalogue[test.slots[0]].version);
        EXPECT_EQ(test.list[1], FirmwareCatalogue[test.slots[1]].version);
        EXPECT_STREQ(test.list[2], "END");
        EXPECT_EQ(variantEntryCount(test.list), 2);
    }
}

TEST_F(FirmwareSelectionTest, BoardChoosesItsPairOfLists) {
    const struct {
        int32_t boardType;
        const char* const* names;
        const char* const* versions;
    } cases[] = {
        {BOARD_LOGIC_I, variantNamesLogicI, variantVersionsLogicI},
        {BOARD_LOGIC_II, variantNamesLogicII, variantVersionsLogicII},
        {BOARD_MZ54_STANDARD, variantNamesMz54, variantVersionsMz54},
        {BOARD_MZ54_DUAL, variantNamesMz54, variantVersionsMz54},
        {INT32_MAX, variantNamesMz54, variantVersionsMz54},
        {-1, nullptr, nullptr},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(variantNamesForBoard(test.boardType), test.names) << test.boardType;
        EXPECT_EQ(variantVersionsForBoard(test.boardType), test.versions) << test.boardType;
    }
    EXPECT_EQ(variantEntryCount(nullptr), 0);
}

// Variant and caption rules -------------------------------------------------------------------

TEST_F(FirmwareSelectionTest, SecondEntrySelectsTheSecondVariantOfTheBoard) {
    const struct {
        int32_t boardType;
        int index;
        int32_t variant;
    } cases[] = {
        {BOARD_LOGIC_I, 0, 1},
        {BOARD_LOGIC_I, 1, 2},
        {BOARD_LOGIC_II, 1, 2},
        {BOARD_MZ54_STANDARD, 0, 1},
        {BOARD_MZ54_STANDARD, 1, 3},
        {BOARD_MZ54_DUAL, 1, 3},
        {BOARD_LOGIC_I, -1, 1},
        {BOARD_MZ54_DUAL, -1, 1},
        {BOARD_MZ54_DUAL, 2, 1},
        {BOARD_LOGIC_II, INT_MAX, 1},
        {-1, 1, 2},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(variantForSelection(test.boardType, test.index), test.variant)
            << test.boardType << " " << test.index;
    }
}

TEST_F(FirmwareSelectionTest, CaptionNamesTheSelectedEntryAndItsVersion) {
    const struct {
        int32_t boardType;
        int index;
        const char* caption;
    } cases[] = {
        {BOARD_LOGIC_I, 0, "Update VRK-54 printer to STD LOGIC BD I (V1.05)?"},
        {BOARD_LOGIC_I, 1, "Update VRK-54 printer to Qorvel LOGIC BD I (V1.05)?"},
        {BOARD_LOGIC_II, 0, "Update VRK-54 printer to V2.02a  LOGIC BD II (V2.02a)?"},
        {BOARD_LOGIC_II, 1, "Update VRK-54 printer to V2.01b LOGIC BD II (V2.01b)?"},
        {BOARD_MZ54_STANDARD, 0, "Update MZ-54 printer to STD MZ-54 (V3.04a) (V3.04a)?"},
        {BOARD_MZ54_DUAL, 1, "Update MZ-54 printer to MZ-54L Dual Driver (4.04a) (V4.04a)?"},
        {BOARD_LOGIC_I, -1, "Update VRK-54 printer to STD LOGIC BD I (V1.05)?"},
        {BOARD_MZ54_DUAL, 2, "Update MZ-54 printer to STD MZ-54 (V3.04a) (V3.04a)?"},
        {BOARD_LOGIC_II, INT_MAX, "Update VRK-54 printer to V2.02a  LOGIC BD II (V2.02a)?"},
    };
    for (const auto& test : cases) {
        char caption[1024];
        EXPECT_TRUE(composeVariantCaption(caption, sizeof caption, test.boardType, test.index));
        EXPECT_STREQ(caption, test.caption);
    }
}

TEST_F(FirmwareSelectionTest, CaptionIsEmptyForANegativeBoardAndCutToItsBuffer) {
    char caption[12] = "untouched";
    EXPECT_FALSE(composeVariantCaption(caption, sizeof caption, -1, 0));
    EXPECT_STREQ(caption, "");

    EXPECT_TRUE(composeVariantCaption(caption, sizeof caption, BOARD_MZ54_STANDARD, 0));
    EXPECT_STREQ(caption, "Update MZ-5");
}

TEST_F(FirmwareSelectionTest, SelectedRasterImageCarriesTheVersionTheCaptionNames) {
    for (int32_t board = BOARD_LOGIC_I; board <= BOARD_MZ54_DUAL; ++board) {
        for (int index = -1; index <= 2; ++index) {
            SCOPED_TRACE(::testing::Message() << "board " << board << ", index " << index);
            printerData.boardType = board;
            printerData.language = LANG_RASTER;
            printerData.variant = variantForSelection(board, index);
            FirmwareChoice choice;
            ASSERT_TRUE(chooseFirmwareSlot(&printerData, &choice));
            int entry = index == 1 ? 1 : 0;
            EXPECT_EQ(FirmwareCatalogue[choice.slot].version,
                      variantVersionsForBoard(board)[entry]);
        }
    }
}
