#pragma once

// Finding a printer attached to this workstation and opening a channel to it: the known USB
// units first (UsbDeviceTable, in row order), then the parallel ports "LPT1:" to "LPT3:", where
// a port holds a printer only when a status read on it returns more than 4 bytes.
//
// Everything here blocks the calling thread (opens, status reads and their pauses, 200 ms after
// a parallel port is reopened). The caller owns the handle that a successful search leaves and
// closes it with closePrinterHandle.

#include "connection/usb_device_table.h"
#include "identity/printer_data.h"
#include "platform/local_channel.h"

// The local channel to the printer, INVALID_CHANNEL_HANDLE when none is open.
extern ChannelHandle printerHandle;

// The table the search walks; UsbDeviceTable unless a test installs another.
extern const UsbDeviceRow* usbDeviceTable;

// The whole search. Sets record->portType (USB, PARALLEL or NONE) and activeConnection; on
// success the open channel is in *handle, otherwise *handle is INVALID_CHANNEL_HANDLE.
bool GetPrinterHandle(ChannelHandle* handle, PrinterData* record);

// Opens the first row of the table that opens (shared), with no status or device-id read.
bool findUsbPrinter(ChannelHandle* handle, const UsbDeviceRow* table);

// Tries LPT1:, LPT2:, LPT3: and raises the found port's write time-out to 15 s.
bool findPrinterPARALLEL(ChannelHandle* handle, PrinterData* record);

// One parallel port (1 to 3; any other number means LPT1:): read its status on an exclusive
// handle, and when more than 4 bytes come back hand out a shared handle on it.
bool IsPrinterPARALLEL(ChannelHandle* handle, int portNumber, PrinterData* record);

// Closes a local channel; the platform's result.
bool closePrinterHandle(ChannelHandle handle);
