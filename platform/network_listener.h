#pragma once

// Listening side of TCP on the loopback interface: only the printer simulator serves
// connections, at any address of 127.0.0.0/8, so that several simulated printers can share one
// port as printers on a network do. Sockets it hands out are used with the network service
// (platform/network.h) for send, receive and close; the socket library must be started there first.

#include "platform/designated_only.h"
#include "platform/network.h"

#include <cstdint>

enum SocketWait {
    SOCKET_WAIT_READY,   // readable: data, a peer's close, or a connection to accept
    SOCKET_WAIT_TIMEOUT, // nothing happened in time
    SOCKET_WAIT_FAILED,  // the wait itself failed
};

constexpr int LISTENER_RECEIVE_BUFFER = 8192;

// The loopback address a simulated printer listens at unless told another.
constexpr uint8_t LOOPBACK_ADDRESS[4] = {127, 0, 0, 1};

// Whether the address (four octets, most significant first) is one of 127.0.0.0/8.
inline bool isLoopbackAddress(const uint8_t address[4]) {
    return address[0] == 127;
}

struct NetworkListenerService {
    DesignatedOnly designatedOnly{};

    // A socket listening at the loopback address (four octets, most significant first) and the
    // given port (0: a free port the system picks). An address outside 127.0.0.0/8 is refused
    // before a socket is made (PLATFORM_ERROR_INVALID, no number): nothing is ever served to the
    // network. Its connections get a receive buffer of a printer's size
    // (LISTENER_RECEIVE_BUFFER), so that a simulated printer that stops reading soon holds up its
    // sender, as a real one does.
    SocketHandle (*listenLoopback)(const uint8_t address[4], uint16_t port, PlatformError* error);

    // The port a socket is bound to, 0 on failure.
    uint16_t (*localPort)(SocketHandle socket);

    // Waits at most timeoutMilliseconds until the socket is readable.
    SocketWait (*waitReadable)(SocketHandle socket, uint32_t timeoutMilliseconds);

    // Accepts one pending connection. INVALID_SOCKET_HANDLE on failure.
    SocketHandle (*accept)(SocketHandle listener, PlatformError* error);
};

extern const NetworkListenerService* networkListenerService;
