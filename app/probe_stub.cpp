// Placeholder probes until the probe-and-display sequence lands: they do nothing.
#include "app/probe.h"

void refreshPrinterData(DialogControls*, PrinterData*) {}

void findEthernetPrinter(DialogControls*, PrinterData*) {}

bool selectFirmwareVariant(DialogControls*, PrinterData*) {
    return false;
}
