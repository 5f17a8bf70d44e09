#pragma once

// Finding a printer attached to this workstation and opening a channel to it: the known USB
// units first (UsbDeviceTable, in row order), then the USB printers of the family that the
// system lists (on Linux; Windows lists none), then the parallel ports "LPT1:" to "LPT3:",
// where a port holds a printer only when a status read on it returns more than 4 bytes.
//
// Of the listed printers the only one is taken; when several are attached none is, and the
// search ends there without trying the parallel ports: which printer gets written to is never
// guessed. A device picked by its path (pickedUsbDevice) is opened alone instead, and when it
// does not open nothing else is tried either.
//
// Everything here blocks the calling thread (opens, status reads and their pauses, 200 ms after
// a parallel port is reopened). The caller owns the handle that a successful search leaves and
// closes it with closePrinterHandle.

#include "connection/usb_device_table.h"
#include "identity/printer_data.h"
#include "platform/local_channel.h"

// The local channel to the printer, INVALID_CHANNEL_HANDLE when none is open.
extern ChannelHandle printerHandle;

// The device path of the local channel the last search opened, empty when it opened none: the
// printer's address on the local route.
extern char printerPath[LISTED_DEVICE_PATH_SIZE];

// The table the search walks; UsbDeviceTable unless a test installs another.
extern const UsbDeviceRow* usbDeviceTable;

// The USB printer picked by its device path (the command line's --device), or null.
extern const char* pickedUsbDevice;

// The printers of the family that the last USB search found listed, in the system's order.
constexpr uint32_t LISTED_USB_PRINTER_LIMIT = 16;
extern ListedPrinterDevice listedUsbPrinters[LISTED_USB_PRINTER_LIMIT];
extern uint32_t listedUsbPrinterCount;

// Whether the last search stopped because several listed printers were attached and none was
// picked.
bool severalUsbPrintersUnpicked();

// The whole search. Sets the route (setPrinterRoute: USB, PARALLEL or NONE) as it ends; on
// success the open channel is in *handle, otherwise *handle is INVALID_CHANNEL_HANDLE.
bool GetPrinterHandle(ChannelHandle* handle, PrinterData* record);

// Opens the picked device if there is one; else the first row of the table that opens
// (shared), else the only listed printer of the family; no status or device-id read.
bool findUsbPrinter(ChannelHandle* handle, const UsbDeviceRow* table);

// Tries LPT1:, LPT2:, LPT3: and raises the found port's write time-out to 15 s.
bool findPrinterPARALLEL(ChannelHandle* handle, PrinterData* record);

// One parallel port (1 to 3; any other number means LPT1:): read its status on an exclusive
// handle, and when more than 4 bytes come back hand out a shared handle on it.
bool IsPrinterPARALLEL(ChannelHandle* handle, int portNumber, PrinterData* record);

// Closes a local channel; the platform's result.
bool closePrinterHandle(ChannelHandle handle);
