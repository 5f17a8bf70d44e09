#pragma once

// The printer's IEEE 1284 device id: reading it from a local channel and turning it into the
// identity fields of the printer record (model, language, series, firmware version, board).
//
// A probe calls GetPrinterID (local route) or the TCP read, then parseModel, setPortLabel and
// parseFirmwareVersion, in that order. The parsers read only record->deviceId (and
// activeConnection) and overwrite only what they find: a key that is missing leaves the fields
// it would have set as the previous probe left them. They never read past the deviceId field,
// even when it holds no NUL, and never overrun a field they write.

#include "identity/printer_data.h"
#include "platform/local_channel.h"

#include <cstddef>

// The parallel-port device id request code, shown in the failure message.
constexpr uint32_t DEVICE_ID_REQUEST_CODE = 0x16000C;

// Asks the printer on the open local channel for its device id and stores the text (at most
// 1023 characters, cut at the first NUL) in record->deviceId, then pauses 250 ms. On failure
// shows "GetPrinterID - Error = <error>, IOCTL = 16000C", leaves deviceId as it was and
// returns false. Blocks the calling thread.
bool GetPrinterID(ChannelHandle handle, PrinterData* record);

// Sets language to LANG_HRM, then reads the "MDL:" field into modelName, language and family.
// "VRK-54" anywhere after the key makes a raster VRK-54 printer. Without the key shows
// "Printer model NOT found in ID!" and returns false.
bool parseModel(PrinterData* record);

// Reads the "FWV:" field (up to the first blank; a ';' does not end it) into firmwareVersion;
// its first digit, 1 to 4, sets boardType. Without the key sets "Not found" and shows
// "Printer model NOT found in ID!".
void parseFirmwareVersion(PrinterData* record);

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
