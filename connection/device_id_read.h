#pragma once

// Reading the printer's IEEE 1284 device id from a local channel (the TCP read is
// GetPrinterIDEthernet in connection/ethernet.h), and storing an id as both reads do.

#include "identity/printer_data.h"
#include "platform/local_channel.h"

// The parallel-port device id request code, shown in the failure message.
constexpr uint32_t DEVICE_ID_REQUEST_CODE = 0x16000C;

// Asks the printer on the open local channel for its device id and stores the text (at most
// 1023 characters, cut at the first NUL) in record->deviceId, then pauses 250 ms. On failure
// shows "GetPrinterID - Error = <error>, IOCTL = 16000C", leaves deviceId as it was and
// returns false. Blocks the calling thread.
bool GetPrinterID(ChannelHandle handle, PrinterData* record);

// Stores a device id as the printer sent it, on either route, in record->deviceId: the text
// ends at the first zero byte, with the reply or with the record's room, whichever comes first.
// The older id goes entirely.
void storeDeviceId(PrinterData* record, const uint8_t* reply, uint32_t length);
