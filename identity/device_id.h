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

// Whether a device id text (at most PRINTER_TEXT_SIZE characters are read) names a printer of
// the family, as parseModel would classify it: a VRA, VRE or VRK-54 model. Changes nothing.
bool deviceIdNamesFamily(const char* deviceId);

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

// Whether a version as the probe read it names the image of this label: it starts with the
// label, and the label is not the start of a longer version (the label "V2.01" is not the
// version "V2.01b"). The probe takes the version up to the first blank, so the device id's ';'
// and what follows may trail it.
bool versionRunsImage(const char* version, const char* label);

// Whether the device id's maker field ("MFG:", at the start of a field) is exactly "SIM": the
// printer simulator, the only printer the placeholder images may be written to.
bool deviceIdNamesSimulator(const PrinterData* record);

// The name of a logic board as the local probe shows it: "LOGIC BD I", "LOGIC BD II ROHS",
// "MZ54 STANDARD", "MZ54 DualDriver"; null for a value the parser never sets.
const char* boardName(int32_t boardType);

// The label of a route: "PARALLEL", "SERIAL", "ETHERNET", and "USB" for any other value.
const char* portLabel(int32_t route);

// Writes the label of activeConnection to portName.
void setPortLabel(PrinterData* record);

// The one place a connection's route is set: activeConnection, record->portType and the port
// label in record->portName together, so that the upgrade (which goes by activeConnection), the
// power-cycle notice (by portType) and what is shown cannot disagree. PORT_TYPE_NONE, after a
// search or connection that found nothing, empties the label.
void setPrinterRoute(PrinterData* record, int32_t route);
