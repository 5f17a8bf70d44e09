#pragma once

// Flash mode entry: what the upgrade button does. Opens a channel by the route of the last
// connection found, asks before rewriting the version the printer already has, checks
// readiness, switches the printer into flash mode and starts the writer thread.

#include "dialog/dialog_controls.h"
#include "flash/flash_writer.h"
#include "identity/printer_data.h"

// Set when the last upgrade command stopped after the printer had taken the flash-mode
// request, before a writer started: the printer may be waiting in flash mode, and the user has
// been told to power-cycle it. Cleared as each upgrade command starts.
extern bool flashModeAbandoned;

// The upgrade command (button 1018). Runs on the user-interface thread and returns as soon as
// the writer thread has started, or when the upgrade could not start.
void upgradePrinterFirmware();

// The two routes; true when the writer thread was started.
bool programFlashLocal(ChannelHandle handle, DialogControls* controls, PrinterData* printerData);
bool programFlashEthernet(SocketHandle socket, DialogControls* controls, PrinterData* printerData);

// The command sequences that switch the printer into flash mode on each route, after the
// readiness check; true when the printer answered "FLASH READY". A refusal has been shown.
bool enterFlashModeLocal(ChannelHandle handle, PrinterData* printer);
bool enterFlashModeEthernet(SocketHandle socket);

// Start one writer thread on the route's body; true when it started.
bool startLocalWriter(WriterJob* job);
bool startEthernetWriter(WriterJob* job);
