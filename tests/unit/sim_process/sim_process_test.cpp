// Runs printer-sim as a child process. The process handling is POSIX (this suite is built on
// Linux only, as printer-sim is).
#include "connection/ethernet.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// A printer-sim child with its standard output on a pipe.
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> arguments) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        arguments.insert(arguments.begin(), PRINTER_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, PRINTER_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) {
            close(output_);
        }
    }

    // Standard output until its end or until nothing came for 10 s.
    std::string readOutput(bool untilEnd) {
        std::string text;
        char buffer[4096];
        pollfd entry = {output_, POLLIN, 0};
        while (poll(&entry, 1, 10000) > 0) {
            ssize_t count = read(output_, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(count));
            if (!untilEnd && text.find('\n') != std::string::npos) {
                break;
            }
        }
        return text;
    }

    // Its exit status once ended (-1 when it did not end normally).
    int waitForExit() {
        int status = 0;
        pid_t ended = waitpid(pid_, &status, 0);
        pid_ = -1;
        return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void terminate() { kill(pid_, SIGTERM); }
    bool started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
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
        std::string line = sim.readOutput(false);
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
    std::string help = sim.readOutput(true);
    EXPECT_EQ(sim.waitForExit(), 0);
    for (const char* option : {"--port", "--device-id", "--status", "--silent-on", "--close-on",
                               "--close-on-connect", "--close-after-image-bytes", "--reply-limit",
                               "--refuse-flash-mode", "--not-ready", "--event-log", "SIGTERM"}) {
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

    sim.terminate();
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
    sim.terminate();
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(PrinterSimProcess, RefusesAnUnknownCommandName) {
    SimProcess sim({"--port", "0", "--close-on", "reboot"});
    ASSERT_TRUE(sim.started());
    EXPECT_NE(sim.waitForExit(), 0);
}
