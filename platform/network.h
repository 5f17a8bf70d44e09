#pragma once

// Network service: a blocking TCP client over IPv4, as the Ethernet transport needs it.
//
// startup/cleanup bracket the use of the socket library (Windows Sockets 2.2 on Windows; nothing
// to do on POSIX). Every other operation blocks the calling thread, but never longer than the
// time-out it is given. Failures report their kind and the OS error number (WSAGetLastError or
// errno) through the optional error argument; a time-out is a failure like any other, of the
// kind PLATFORM_ERROR_TIMED_OUT (without a number when the backend's own wait ran out).

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// A Windows SOCKET or a POSIX descriptor, carried as an integer.
typedef intptr_t SocketHandle;
constexpr SocketHandle INVALID_SOCKET_HANDLE = -1;

constexpr int NETWORK_SEND_BUFFER = 65536;

struct NetworkService {
    DesignatedOnly designatedOnly{};

    // Starts the socket library (WSAStartup for version 2.2). Each successful call is paired
    // with one cleanup.
    bool (*startup)(PlatformError* error);
    void (*cleanup)();

    // A new TCP stream socket, not inherited by child processes, with a send buffer of
    // NETWORK_SEND_BUFFER bytes: the system's own may grow to megabytes, and would hide a printer
    // that stops reading until the whole image sat in it. INVALID_SOCKET_HANDLE on failure.
    SocketHandle (*openStream)(PlatformError* error);

    // Connects to the IPv4 address (four octets, most significant first) and port, waiting at
    // most timeoutMilliseconds. The socket stays open either way: closing it is the caller's.
    bool (*connect)(SocketHandle socket, const uint8_t address[4], uint16_t port,
                    uint32_t timeoutMilliseconds, PlatformError* error);

    // One send, waiting at most timeoutMilliseconds for the peer to take any of the bytes (a
    // printer that stops reading). Returns the number of bytes accepted, or -1 on failure or
    // when nothing was taken in time. A peer that has gone away makes it fail; it never raises a
    // signal.
    int32_t (*send)(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                    uint32_t timeoutMilliseconds, PlatformError* error);

    // One receive of at most size bytes, waiting at most timeoutMilliseconds for the first byte.
    // Returns the count received (more than 0), 0 when the peer closed, or -1 on failure or when
    // nothing arrived in time.
    int32_t (*receive)(SocketHandle socket, uint8_t* buffer, uint32_t size,
                       uint32_t timeoutMilliseconds, PlatformError* error);

    // Closes the socket. Returns the platform's result.
    bool (*close)(SocketHandle socket);

    // The first IPv4 address of a host name (getaddrinfo), four octets, most significant first.
    // Blocks for as long as the system's resolver takes (its own time-outs and retries bound
    // it). A name without an IPv4 address is PLATFORM_ERROR_NOT_FOUND; on Windows the socket
    // library must be started.
    bool (*resolveIpv4)(const char* host, uint8_t address[4], PlatformError* error);
};

extern const NetworkService* networkService;
