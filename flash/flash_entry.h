#pragma once

// Flash mode entry: what the upgrade button does. Opens a channel by the route of the last
// connection found, asks before rewriting the version the printer already has, checks
// readiness, switches the printer into flash mode and starts the writer thread.

#include "dialog/dialog_controls.h"
#include "flash/flash_writer.h"
#include "identity/printer_data.h"
#include "outcome/outcomes.h"

// The slot of the image a repair rewrites: set by a probe that found a printer this program
// left half-written (its last upgrade here did not finish, and its device id still names that
// upgrade's model), -1 otherwise. The upgrade then writes that image again and skips only the
// readiness rule, which such a printer cannot meet; cleared as each probe starts.
extern int repairImageSlot;

// The upgrade command (button 1018). Runs on the user-interface thread and returns as soon as
// the writer thread has started, or when the upgrade could not start. Its verdict
// (outcome/outcomes.h) is STARTING from the start, then NOT_STARTED or FAILED with the reason
// where it stops, or WRITING once the writer owns the printer (the writer finishes it).
void upgradePrinterFirmware();

// Asks that no upgrade send the flash-mode request from now on: the command line's interrupt.
// True when it is honoured: no request has gone out in the upgrade under way (one that reaches
// the request then ends with the verdict NOT_STARTED, failure INTERRUPTED). False once the
// request has gone out: the printer may be leaving its normal mode, and the upgrade goes on.
bool stopBeforeFlashMode();

// Lets upgrades request flash mode again; for the tests.
void reopenFlashModeGate();

// The two routes; true when the writer thread was started.
bool programFlashLocal(ChannelHandle handle, DialogControls* controls, PrinterData* printer);
bool programFlashEthernet(SocketHandle socket, DialogControls* controls, PrinterData* printer);

// The command sequences that switch the printer into flash mode on each route, after the
// readiness check; true when the printer answered "FLASH READY". A refusal has been shown.
bool enterFlashModeLocal(ChannelHandle handle, PrinterData* printer);
bool enterFlashModeEthernet(SocketHandle socket);
