#pragma once

// The printer's status reply on the local channel, and the readiness rule shared by every route.
//
// On a USB device path or a parallel port the printer answers a plain read with its status
// reply; nothing is written to ask for it. A reply whose first byte is 'C', 'E', 'N' or 'S' is a
// status report and is kept in printerData as the last good reply; on a parallel port an empty
// read is answered from that cache.

#include "identity/printer_data.h"
#include "platform/local_channel.h"

#include <cstdint>

// The readiness rule: a reply of at least one byte is ready exactly when byte 3 is 0 and byte 4
// is 0 or 1; bytes beyond the end of the reply count as 0.
bool statusReplyIsReady(const uint8_t* reply, uint32_t length);

// One status read on an open local channel, with its log lines and pauses.
bool GetPrinterStatusData(ChannelHandle handle, uint8_t* buffer, uint32_t* length,
                          PrinterData* record);

// Reads the status and judges it: true when the printer on this channel is ready to be upgraded.
bool isPrinterReady(ChannelHandle handle, PrinterData* record);
