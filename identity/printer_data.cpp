#include "identity/printer_data.h"

PrinterData printerData;
int32_t activeConnection;
bool printerIdentified;
