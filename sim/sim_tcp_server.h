#pragma once

// Serves a simulated printer (or a replayed one) over TCP at a loopback address, one connection at
// a time, from a thread of its own. Used in-process by the tests and by printer-sim.

#include "platform/network.h"
#include "platform/network_listener.h"
#include "sim/simulated_printer.h"

#include <atomic>
#include <cstdint>
#include <thread>

class SimTcpServer {
  public:
    explicit SimTcpServer(SimConversation& printer);
    ~SimTcpServer();
    SimTcpServer(const SimTcpServer&) = delete;
    SimTcpServer& operator=(const SimTcpServer&) = delete;

    // Starts listening at the loopback address (127.0.0.0/8 only) and port (0: a free one) and
    // serving. False when it cannot listen; *error then says why.
    bool start(const uint8_t address[4], uint16_t port, PlatformError* error);
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
    // Sends the replies; false when the connection is to end (a failed send, or the printer
    // closes it or stops reading), with *byPrinter set when the printer closed it.
    bool deliver(SocketHandle connection, const SimOutcome& outcome, bool* byPrinter);

    SimConversation& printer_;
    // The services as they were at start; tests may install doubles over them afterwards.
    const NetworkService* network_ = nullptr;
    SocketHandle listener_ = INVALID_SOCKET_HANDLE;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
