#include "tests/doubles/dialog_probe_test.h"

#include "app/probe.h"
#include "connection/local_discovery.h"
#include "dialog/dialog_controls.h"

#include <cstdio>

DialogProbeTest::DialogProbeTest()
    : spooler(std::vector<SpooledPrinter>{{"Tickets", SPOOLED_PRINTER_PORT}}),
      local(std::make_unique<SimulatedLocalChannel>()) {
    connectWriterClosingProbes();
    bindDialogControls(dialog.window());
    snprintf(ethernetSettings.ipOctet1, sizeof ethernetSettings.ipOctet1, "127");
    snprintf(ethernetSettings.ipOctet2, sizeof ethernetSettings.ipOctet2, "0");
    snprintf(ethernetSettings.ipOctet3, sizeof ethernetSettings.ipOctet3, "0");
    snprintf(ethernetSettings.ipOctet4, sizeof ethernetSettings.ipOctet4, "1");
    snprintf(ethernetSettings.tcpPort, sizeof ethernetSettings.tcpPort, "%s", portText().c_str());
    dialog.clearChanges();
}

void DialogProbeTest::attachLocal(const std::string& path) {
    local->attach(path, &printer);
}

std::string DialogProbeTest::usbPath() {
    return UsbDeviceTable[0].devicePath;
}

void DialogProbeTest::detachLocal() {
    local.reset();
    local = std::make_unique<SimulatedLocalChannel>();
}

std::string DialogProbeTest::spooledPort() const {
    return spooler.printers().front().port;
}

size_t DialogProbeTest::portChanges() const {
    return spooler.callCount(SPOOLER_SET);
}
