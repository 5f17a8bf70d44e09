#pragma once

// A test fixture with a simulated printer served on a loopback port, the virtual clock, and the
// network double over the real sockets that the transport uses. Receives are bounded to one
// second, so that a silent printer costs the test one second, not five.

#include "connection/ethernet.h"
#include "sim/sim_tcp_server.h"
#include "sim/simulated_printer.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/network_double.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

class SimulatedPrinterTest : public ::testing::Test {
  protected:
    static constexpr uint32_t TEST_RECEIVE_MILLISECONDS = 1000;

    SimulatedPrinterTest();
    ~SimulatedPrinterTest() override;

    std::string portText() const;
    // connectEthernet to the simulator into printerSocket, then clears the log and the waits.
    bool connectToPrinter();
    // closeSocket on printerSocket, and waits until the printer has seen the close.
    void disconnect();
    // Waits until the printer has recorded as many events of the kind; false after 10 s.
    bool waitForEvents(SimEventKind kind, size_t count);
    size_t countEvents(SimEventKind kind) const;

    KernelDouble kernel;
    SimulatedPrinter printer;
    SimTcpServer server{printer};
    std::unique_ptr<NetworkDouble> network;
};

// The bytes of a text, zero bytes included when the length is given.
std::vector<uint8_t> textBytes(const std::string& text);
