#pragma once

// The probe-and-display sequence: find the printer, read and classify its device id, show it in
// the dialog, ask whether it is ready and, when it is, choose the image, fill the firmware combo
// box and set the upgrade button's caption. Each probe closes the channel it opened.
//
// The probes run on the user-interface thread (dialog start, "Refresh data", "Find Ethernet
// Printer") and on the flash writer thread at the end of an upgrade; every change to a control
// goes through the user-interface service.

#include "dialog/dialog_controls.h"
#include "identity/printer_data.h"
#include "outcome/outcomes.h"

// The local probe: the known USB device paths, then LPT1: to LPT3:. Moves the spooler's
// printers to "FILE:" on its first run. Asks the user-interface loop to end when the spooler's
// printers cannot be listed or the device id cannot be read.
void refreshPrinterData(DialogControls* controls, PrinterData* printer);

// The probe over TCP to the address in ethernetSettings.
void findEthernetPrinter(DialogControls* controls, PrinterData* printer);

// The same probe to the given address: the flash writer's closing probe uses its own copy.
void findEthernetPrinterAt(DialogControls* controls, PrinterData* printer,
                           const EthernetSettings* address);

// Hands the flash writer the probes it runs at its end (refreshPrinterData, and
// findEthernetPrinterAt with the writer's copy of the address): the writer sits below the dialog
// and cannot reach them itself. The dialog's start calls this.
void connectWriterClosingProbes();

// A change of selection in the firmware combo box: caption, variant and image follow the entry.
// Returns the result of the image choice.
bool selectFirmwareVariant(DialogControls* controls, PrinterData* printer);

// The causes the dialog's texts leave out, into a probe's record: what the search or connection
// tried and why it reached no printer; the status reply of a printer found not ready.
void recordRouteFailure(ProbeOutcome* outcome);
void recordStatusReply(ProbeOutcome* outcome);

// Empties the combo box, adds the names of list up to the entry "END" (a null list adds none)
// and selects entry 0, which reports no selection change. With no entries nothing is selected.
void fillFirmwareCombo(ControlHandle combo, const char* const* names);
