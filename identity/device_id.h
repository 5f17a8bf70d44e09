#pragma once

// The printer's IEEE 1284 device id: turning it into the identity fields of the printer record
// (model, language, series, firmware version, board). Pure parsing: the reads are in
// connection/, and the caller shows what the user must see.
//
// A probe reads the device id (GetPrinterID on the local route, or the TCP read), then calls
// parseModel, setPortLabel and parseFirmwareVersion, in that order. The parsers read only
// record->deviceId (and activeConnection) and overwrite only what they find: a key that is missing
// leaves the fields it would have set as the previous probe left them. They never read past the
// deviceId field, even when it holds no NUL, and never overrun a field they write.

#include "identity/printer_data.h"

#include <cstddef>

// What the probe shows when parseModel or parseFirmwareVersion finds no key.
constexpr char DEVICE_ID_KEY_MISSING_MESSAGE[] = "Printer model NOT found in ID!";

// Sets language to LANG_HRM, then reads the "MDL:" field into modelName, language and family.
// "VRK-54" anywhere after the key makes a raster VRK-54 printer. Without the key returns false
// (the probe then shows DEVICE_ID_KEY_MISSING_MESSAGE).
bool parseModel(PrinterData* record);

// Reads the "FWV:" field (up to the first blank; a ';' does not end it) into firmwareVersion;
// its first digit, 1 to 4, sets boardType. Without the key sets "Not found" and returns false
// (the probe then shows DEVICE_ID_KEY_MISSING_MESSAGE).
bool parseFirmwareVersion(PrinterData* record);

// Whether the device id itself identifies the printer: a model (a non-empty "MDL:" field, or
// "VRK-54" after the key) and a firmware version whose first digit, 1 to 4, names the logic
// board. The parsers above leave what a missing key would have set from an earlier probe; this
// looks at the device id alone, so that firmware is never chosen from such leftovers. When it
// does not identify the printer, the plain reason ("No firmware offered: ...") goes to reason
// (cut to size, always terminated).
bool deviceIdIdentifiesPrinter(const PrinterData* record, char* reason, size_t size);

// Whether the device id's maker field ("MFG:", at the start of a field) is exactly "SIM": the
// printer simulator, the only printer the placeholder images may be written to.
bool deviceIdNamesSimulator(const PrinterData* record);

// Writes the label of activeConnection ("USB", "PARALLEL", "SERIAL" or "ETHERNET") to portName.
void setPortLabel(PrinterData* record);
