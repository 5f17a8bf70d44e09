#pragma once

// Reading the printer's IEEE 1284 device id from a local channel (the TCP read is
// GetPrinterIDEthernet in connection/ethernet.h).

#include "identity/printer_data.h"
#include "platform/local_channel.h"

// The parallel-port device id request code, shown in the failure message.
constexpr uint32_t DEVICE_ID_REQUEST_CODE = 0x16000C;

// Asks the printer on the open local channel for its device id and stores the text (at most
// 1023 characters, cut at the first NUL) in record->deviceId, then pauses 250 ms. On failure
// shows "GetPrinterID - Error = <error>, IOCTL = 16000C", leaves deviceId as it was and
// returns false. Blocks the calling thread.
bool GetPrinterID(ChannelHandle handle, PrinterData* record);
