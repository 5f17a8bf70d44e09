#include "sim/sim_tcp_server.h"

#include "platform/network_listener.h"

#include <chrono>

// How often the serving thread looks at the stop request while it waits.
constexpr uint32_t POLL_MILLISECONDS = 20;
constexpr uint32_t RECEIVE_SIZE = 4096;
// A client that stops reading replies is given up after this long.
constexpr uint32_t SEND_BOUND_MS = 5000;

SimTcpServer::SimTcpServer(SimConversation& printer) : printer_(printer) {}

SimTcpServer::~SimTcpServer() {
    stop();
}

bool SimTcpServer::start(const uint8_t address[4], uint16_t port, PlatformError* error) {
    network_ = networkService;
    if (!network_->startup(error)) {
        return false;
    }
    listener_ = networkListenerService->listenLoopback(address, port, error);
    if (listener_ == INVALID_SOCKET_HANDLE) {
        network_->cleanup();
        return false;
    }
    port_ = networkListenerService->localPort(listener_);
    stopping_ = false;
    thread_ = std::thread(&SimTcpServer::run, this);
    return true;
}

void SimTcpServer::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    thread_.join();
    network_->close(listener_);
    listener_ = INVALID_SOCKET_HANDLE;
    network_->cleanup();
}

void SimTcpServer::run() {
    while (!stopping_) {
        SocketWait wait = networkListenerService->waitReadable(listener_, POLL_MILLISECONDS);
        if (wait == SOCKET_WAIT_FAILED) {
            return;
        }
        if (wait == SOCKET_WAIT_TIMEOUT) {
            continue;
        }
        SocketHandle connection = networkListenerService->accept(listener_, nullptr);
        if (connection != INVALID_SOCKET_HANDLE) {
            serve(connection);
        }
    }
}

bool SimTcpServer::sendAll(SocketHandle connection, const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        int32_t sent =
            network_->send(connection, bytes.data() + at, static_cast<uint32_t>(bytes.size() - at),
                           SEND_BOUND_MS, nullptr);
        if (sent <= 0) {
            return false;
        }
        at += static_cast<size_t>(sent);
    }
    return true;
}

// The replies in order, with the outcome's gap between two of them.
void SimTcpServer::sendReplies(SocketHandle connection, const SimOutcome& outcome, bool* open) {
    for (size_t i = 0; i < outcome.replies.size() && *open; ++i) {
        if (i > 0 && outcome.replyGapMilliseconds != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(outcome.replyGapMilliseconds));
        }
        *open = sendAll(connection, outcome.replies[i]);
    }
}

// A printer that stopped reading: nothing more is taken from the connection, which stays open
// (the sender's data piles up in the socket buffers) until the server stops.
void SimTcpServer::waitWhileStalled() {
    while (!stopping_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MILLISECONDS));
    }
}

bool SimTcpServer::deliver(SocketHandle connection, const SimOutcome& outcome, bool* byPrinter) {
    bool open = true;
    sendReplies(connection, outcome, &open);
    if (outcome.close) {
        *byPrinter = true;
        return false;
    }
    if (outcome.stalled) {
        waitWhileStalled();
        return false;
    }
    return open;
}

void SimTcpServer::serve(SocketHandle connection) {
    bool open = printer_.open(SIM_CHANNEL_TCP);
    bool byPrinter = !open;
    uint8_t buffer[RECEIVE_SIZE];
    while (open && !stopping_) {
        SocketWait wait = networkListenerService->waitReadable(connection, POLL_MILLISECONDS);
        if (wait == SOCKET_WAIT_TIMEOUT) {
            open = deliver(connection, printer_.idle(SIM_CHANNEL_TCP), &byPrinter);
            continue;
        }
        int32_t received = wait == SOCKET_WAIT_READY
                               ? network_->receive(connection, buffer, sizeof buffer, 0, nullptr)
                               : -1;
        if (received <= 0) {
            break;
        }
        open = deliver(connection,
                       printer_.receive(SIM_CHANNEL_TCP, buffer, static_cast<size_t>(received)),
                       &byPrinter);
    }
    network_->close(connection);
    printer_.close(SIM_CHANNEL_TCP, byPrinter || stopping_);
}
