// Runs printer-sim as a child process (Linux only, as printer-sim is).
#include "connection/ethernet.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"
#include "tests/support/child_process.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Long enough for printer-sim to start, answer and stop on a loaded machine.
constexpr int PROCESS_TIMEOUT_MS = 10000;

struct SimProcess : ChildProcess {
    explicit SimProcess(const std::vector<std::string>& arguments)
        : ChildProcess(PRINTER_SIM_PATH, arguments, {}) {}

    // Its exit code once ended (-1 when it did not end by itself).
    int waitForExit() { return finish(PROCESS_TIMEOUT_MS).exitCode; }
};

class PrinterSimProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProgramState();
        ethernetTimeouts.receiveMilliseconds = 1000;
    }
    void TearDown() override { resetProgramState(); }

    // Starts printer-sim on a free port and connects to it.
    bool startAndConnect(SimProcess& sim) {
        std::string line = sim.waitForOutput("\n", PROCESS_TIMEOUT_MS);
        const std::string prefix = "listening on 127.0.0.1:";
        if (line.rfind(prefix, 0) != 0) {
            ADD_FAILURE() << "printer-sim said: " << line;
            return false;
        }
        std::string port = line.substr(prefix.size(), line.find('\n') - prefix.size());
        return connectEthernet(&printerSocket, "127", "0", "0", "1", port.c_str(), &printerData);
    }

    KernelDouble kernel;
};

TEST_F(PrinterSimProcess, HelpExplainsEveryOption) {
    SimProcess sim({"--help"});
    ASSERT_TRUE(sim.started());
    ChildOutcome outcome = sim.finish(PROCESS_TIMEOUT_MS);
    EXPECT_EQ(outcome.exitCode, 0);
    const std::string& help = outcome.output;
    for (const char* option :
         {"--port", "--device-id", "--status", "--silent-on", "--close-on", "--close-on-connect",
          "--close-after-image-bytes", "--reply-limit", "--refuse-flash-mode", "--not-ready",
          "--event-log", "--replay", "SIGTERM"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST_F(PrinterSimProcess, ServesItsDeviceIdAndStatusAndStopsOnSigterm) {
    std::string eventLog = ::testing::TempDir() + "printer-sim-events.jsonl";
    std::remove(eventLog.c_str());
    SimProcess sim({"--port", "0", "--device-id", "MDL:VRK54 RASTER;FWV:V2.02a;", "--status",
                    "53 00 00 00 9C", "--event-log", eventLog});
    ASSERT_TRUE(startAndConnect(sim));
    ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
    EXPECT_STREQ(printerData.deviceId, "MDL:VRK54 RASTER;FWV:V2.02a;");
    EXPECT_FALSE(isPrinterReadyEthernet(printerSocket));
    EXPECT_TRUE(kernel.logged("9C "));
    closeSocket(printerSocket);

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(), 0);
    std::ifstream log(eventLog);
    std::vector<std::string> commands;
    for (std::string line; std::getline(log, line);) {
        nlohmann::json event = nlohmann::json::parse(line);
        if (event["event"] == "command") {
            commands.push_back(event["command"]);
        }
    }
    EXPECT_EQ(commands, (std::vector<std::string>{"device-id", "status"}));
}

TEST_F(PrinterSimProcess, InjectsAFaultGivenOnTheCommandLine) {
    SimProcess sim({"--port", "0", "--silent-on", "status"});
    ASSERT_TRUE(startAndConnect(sim));
    EXPECT_FALSE(isPrinterReadyEthernet(printerSocket));
    EXPECT_EQ(kernel.logLines().back(), "isPrinterReadyEthernet - bytesRecv < 0");
    closeSocket(printerSocket);
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(PrinterSimProcess, RefusesAnUnknownCommandName) {
    SimProcess sim({"--port", "0", "--close-on", "reboot"});
    ASSERT_TRUE(sim.started());
    EXPECT_NE(sim.waitForExit(), 0);
}
