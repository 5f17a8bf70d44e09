#include "identity/firmware_selection.h"

#include <cstdio>
#include <cstring>

static const char LIST_END[] = "END";

const char* const variantNamesLogicI[VARIANT_LIST_LENGTH] = {"STD LOGIC BD I", "Qorvel LOGIC BD I",
                                                             LIST_END};
const char* const variantVersionsLogicI[VARIANT_LIST_LENGTH] = {
    FirmwareCatalogue[8].version, FirmwareCatalogue[10].version, LIST_END};
const char* const variantNamesLogicII[VARIANT_LIST_LENGTH] = {"V2.02a  LOGIC BD II",
                                                              "V2.01b LOGIC BD II", LIST_END};
const char* const variantVersionsLogicII[VARIANT_LIST_LENGTH] = {
    FirmwareCatalogue[9].version, FirmwareCatalogue[11].version, LIST_END};
const char* const variantNamesMz54[VARIANT_LIST_LENGTH] = {"STD MZ-54 (V3.04a)",
                                                           "MZ-54L Dual Driver (4.04a)", LIST_END};
const char* const variantVersionsMz54[VARIANT_LIST_LENGTH] = {
    FirmwareCatalogue[12].version, FirmwareCatalogue[13].version, LIST_END};

// The slots of a logic board I or II printer, by language and series.
struct LogicBoardSlots {
    int vreG;
    int otherG;
    int vreHrm;
    int otherHrm;
    int rasterFirst;
    int rasterSecond;
    const char* rasterNotice; // shown after "Raster printer", or null
    const char* languageError;
};

static const LogicBoardSlots logicBoardSlots[] = {
    {0, 2, 4, 6, 8, 10, "LOGIC BD I", "ERROR - LOGIC BD I Firmware specified without HRM or G"},
    {1, 3, 5, 7, 9, 11, nullptr, "ERROR - LOGIC BD II Firmware specified without HRM or G"},
};

constexpr int MZ54_STANDARD_SLOT = 12;
constexpr int MZ54_DUAL_DRIVER_SLOT = 13;

static void addMessage(FirmwareChoice* choice, const char* message) {
    choice->messages[choice->messageCount++] = message;
}

// The slot of a logic board I or II printer, or -1 (with the error to show) for a language that
// has no image.
static int logicBoardSlot(const LogicBoardSlots& slots, const PrinterData* record,
                          FirmwareChoice* choice) {
    // Only VRE printers get the VRE images; VRA and unknown series share the VRA ones.
    bool vre = record->family == FAMILY_VRE;
    if (record->language == LANG_G) {
        return vre ? slots.vreG : slots.otherG;
    }
    if (record->language == LANG_HRM) {
        return vre ? slots.vreHrm : slots.otherHrm;
    }
    if (record->language == LANG_RASTER) {
        if (slots.rasterNotice != nullptr) {
            addMessage(choice, "Raster printer");
            addMessage(choice, slots.rasterNotice);
        }
        return record->variant == 2 ? slots.rasterSecond : slots.rasterFirst;
    }
    addMessage(choice, slots.languageError);
    return -1;
}

bool chooseFirmwareSlot(const PrinterData* record, FirmwareChoice* choice) {
    *choice = FirmwareChoice{-1, {}, 0};
    if (record->boardType < 0) {
        addMessage(choice, "ERROR - LOGIC BD I, LOGIC BD II, MZ54 or MZ54L NOT specified");
        return false;
    }
    if (record->boardType <= BOARD_LOGIC_II) {
        choice->slot = logicBoardSlot(logicBoardSlots[record->boardType], record, choice);
    } else {
        // On the MZ54 boards the variant alone decides; the board value does not.
        choice->slot = record->variant == 3 ? MZ54_DUAL_DRIVER_SLOT : MZ54_STANDARD_SLOT;
    }
    return choice->slot >= 0;
}

struct VariantListPair {
    const char* const* names;
    const char* const* versions;
};

static const VariantListPair variantListPairs[] = {
    {variantNamesLogicI, variantVersionsLogicI},
    {variantNamesLogicII, variantVersionsLogicII},
    {variantNamesMz54, variantVersionsMz54},
};

// The pair of lists of a board, or null for a negative board.
static const VariantListPair* variantListPairOfBoard(int32_t boardType) {
    if (boardType < 0) {
        return nullptr;
    }
    return &variantListPairs[boardType < BOARD_MZ54_STANDARD ? boardType : 2];
}

const char* const* variantNamesForBoard(int32_t boardType) {
    const VariantListPair* pair = variantListPairOfBoard(boardType);
    return pair == nullptr ? nullptr : pair->names;
}

const char* const* variantVersionsForBoard(int32_t boardType) {
    const VariantListPair* pair = variantListPairOfBoard(boardType);
    return pair == nullptr ? nullptr : pair->versions;
}

int variantEntryCount(const char* const* list) {
    int count = 0;
    while (list != nullptr && count < VARIANT_LIST_LENGTH - 1 &&
           strcmp(list[count], LIST_END) != 0) {
        ++count;
    }
    return count;
}

int32_t variantForSelection(int32_t boardType, int index) {
    if (index != 1) {
        return 1;
    }
    return boardType >= BOARD_MZ54_STANDARD ? 3 : 2;
}

bool composeVariantCaption(char* buffer, size_t size, int32_t boardType, int index) {
    const VariantListPair* pair = variantListPairOfBoard(boardType);
    if (size > 0) {
        buffer[0] = '\0';
    }
    if (pair == nullptr) {
        return false;
    }
    int entry = index >= 0 && index < variantEntryCount(pair->names) ? index : 0;
    const char* series = boardType >= BOARD_MZ54_STANDARD ? "MZ-54" : "VRK-54";
    snprintf(buffer, size, "Update %s printer to %s (%s)?", series, pair->names[entry],
             pair->versions[entry]);
    return true;
}
