#include "tests/doubles/simulated_printer_test.h"

#include "tests/doubles/program_state.h"

#include <chrono>
#include <thread>

SimulatedPrinterTest::SimulatedPrinterTest() {
    resetProgramState();
    PlatformError error;
    EXPECT_TRUE(server.start(LOOPBACK_ADDRESS, 0, &error)) << "error " << error.number;
    network = std::make_unique<NetworkDouble>();
    ethernetTimeouts.receiveMilliseconds = TEST_RECEIVE_MILLISECONDS;
}

SimulatedPrinterTest::~SimulatedPrinterTest() {
    if (printerSocket != INVALID_SOCKET_HANDLE) {
        closeSocket(printerSocket);
    }
    for (int i = network->cleanups(); i < network->startups(); ++i) {
        networkService->cleanup();
    }
    network.reset();
    server.stop();
    resetProgramState();
}

std::string SimulatedPrinterTest::portText() const {
    return std::to_string(server.port());
}

bool SimulatedPrinterTest::connectToPrinter() {
    bool connected =
        connectEthernet(&printerSocket, "127", "0", "0", "1", portText().c_str(), &printerData);
    kernel.clearLog();
    kernel.clearWaits();
    return connected;
}

size_t SimulatedPrinterTest::countEvents(SimEventKind kind) const {
    size_t count = 0;
    for (const SimEvent& event : printer.events()) {
        count += event.kind == kind ? 1 : 0;
    }
    return count;
}

bool SimulatedPrinterTest::waitForEvents(SimEventKind kind, size_t count) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (countEvents(kind) >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void SimulatedPrinterTest::disconnect() {
    size_t closes = countEvents(SIM_EVENT_CLOSED);
    closeSocket(printerSocket);
    EXPECT_TRUE(waitForEvents(SIM_EVENT_CLOSED, closes + 1));
}

std::vector<uint8_t> textBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}
