#pragma once

// The image for the printer, chosen by the selection rule of identity/firmware_selection.h, with
// what the user is told about the choice shown as message boxes.

#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"

// Chooses the slot for record's boardType, language, family and variant and stores its
// reference in *slotReference. Shows "Raster printer" then "LOGIC BD I" for a board I raster
// printer (and still succeeds). Returns false, with an error box and *slotReference unchanged,
// for a board I or II printer whose language is neither G, HRM nor raster, and for a negative
// board.
bool pickFirmwareImage(FirmwareImage** slotReference, PrinterData* record);
