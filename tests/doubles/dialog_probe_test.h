#pragma once

// A test fixture for the dialog side: the simulated printer of SimulatedPrinterTest (served on
// loopback, with the Ethernet fields of the dialog pointing at it), the same printer as a local
// channel once a test attaches it to a device path, the in-memory dialog with its controls
// bound, a spooler holding one printer on "USB001:", and the state files in memory.

#include "sim/simulated_local_channel.h"
#include "tests/doubles/dialog_model_double.h"
#include "tests/doubles/simulated_printer_test.h"
#include "tests/doubles/spooler_double.h"
#include "tests/doubles/state_file_double.h"

#include <memory>
#include <string>

class DialogProbeTest : public SimulatedPrinterTest {
  protected:
    static constexpr const char* SPOOLED_PRINTER_PORT = "USB001:";

    DialogProbeTest();

    // Binds the printer to a device path: a row of the USB table, or "LPT1:" to "LPT3:".
    void attachLocal(const std::string& path);
    // The first row of the USB device table.
    static std::string usbPath();
    // Unplugs every local printer: opens of any path fail from now on.
    void detachLocal();

    // The spooler's printer's current port, and how often it was given a port.
    std::string spooledPort() const;
    size_t portChanges() const;

    DialogModelDouble dialog;
    SpoolerDouble spooler;
    StateFileDouble stateFiles;
    std::unique_ptr<SimulatedLocalChannel> local;
};
