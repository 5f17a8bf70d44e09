#pragma once

// Which catalogue slot a classified printer gets, and the firmware variant choice offered for
// raster and MZ-54 printers (the firmware combo box and the upgrade button's caption). Pure:
// what the user is told about the choice is handed back, and pickFirmwareImage
// (flash/firmware_pick.h) shows it.

#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"

#include <cstddef>
#include <cstdint>

constexpr int FIRMWARE_CHOICE_MESSAGE_LIMIT = 2;

// What the selection rule decided: the catalogue slot, and the messages the user is to be shown
// about it, in order.
struct FirmwareChoice {
    int slot; // -1 when no image fits
    const char* messages[FIRMWARE_CHOICE_MESSAGE_LIMIT];
    int messageCount;
};

// Chooses the slot for record's boardType, language, family and variant. A board I raster
// printer gets "Raster printer" then "LOGIC BD I" to show (and still a slot). Returns false,
// with slot -1 and one error message, for a board I or II printer whose language is neither G,
// HRM nor raster, and for a negative board. Every classification the device id parsers produce
// yields a slot.
bool chooseFirmwareSlot(const PrinterData* record, FirmwareChoice* choice);

// The variant lists: two entries each, then "END". A version list refers to the labels of the
// catalogue slots beside the names of its name list.
constexpr int VARIANT_LIST_LENGTH = 3;
extern const char* const variantNamesLogicI[VARIANT_LIST_LENGTH];
extern const char* const variantVersionsLogicI[VARIANT_LIST_LENGTH];
extern const char* const variantNamesLogicII[VARIANT_LIST_LENGTH];
extern const char* const variantVersionsLogicII[VARIANT_LIST_LENGTH];
extern const char* const variantNamesMz54[VARIANT_LIST_LENGTH];
extern const char* const variantVersionsMz54[VARIANT_LIST_LENGTH];

// The pair of lists for a board: LogicI for board I, LogicII for board II, Mz54 for every board
// from 2 up. A negative board has no lists: null.
const char* const* variantNamesForBoard(int32_t boardType);
const char* const* variantVersionsForBoard(int32_t boardType);

// The number of entries before "END" (0 for a null list).
int variantEntryCount(const char* const* list);

// The variant that the combo box entry at index selects: the second entry (index 1) gives 3 on
// the MZ54 boards and 2 on the others, anything else 1. An index that names no entry (-1, the
// combo box's "no selection", or one past the list) thus selects like the first entry.
int32_t variantForSelection(int32_t boardType, int index);

// Composes the upgrade button's caption for the entry at index, "Update VRK-54 printer to %s
// (%s)?" on boards I and II, "Update MZ-54 printer to %s (%s)?" from board 2 up, from the
// board's name and version lists. An index that names no entry is taken as the first entry, the
// one variantForSelection then selects. Returns false, with an empty buffer, for a negative
// board.
bool composeVariantCaption(char* buffer, size_t size, int32_t boardType, int index);
