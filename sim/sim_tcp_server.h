#pragma once

// Serves a simulated printer over TCP on 127.0.0.1, one connection at a time, from a thread of
// its own. Used in-process by the tests and by printer-sim.

#include "platform/network.h"
#include "sim/simulated_printer.h"

#include <atomic>
#include <cstdint>
#include <thread>

class SimTcpServer {
  public:
    explicit SimTcpServer(SimulatedPrinter& printer);
    ~SimTcpServer();
    SimTcpServer(const SimTcpServer&) = delete;
    SimTcpServer& operator=(const SimTcpServer&) = delete;

    // Starts listening at the port (0: a free one) and serving. False when it cannot listen;
    // *error then holds the OS error number.
    bool start(uint16_t port, PlatformError* error);
    // The port it listens at, 0 before start.
    uint16_t port() const { return port_; }
    // Stops serving: the open connection (if any) is closed and the thread joined.
    void stop();

  private:
    void run();
    void serve(SocketHandle connection);
    bool sendAll(SocketHandle connection, const std::vector<uint8_t>& bytes);
    void sendReplies(SocketHandle connection, const SimOutcome& outcome, bool* open);
    void waitWhileStalled();

    SimulatedPrinter& printer_;
    // The services as they were at start; tests may install doubles over them afterwards.
    const NetworkService* network_ = nullptr;
    SocketHandle listener_ = INVALID_SOCKET_HANDLE;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
