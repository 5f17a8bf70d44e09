// Listening side of TCP on Linux, for the printer simulator.
#include "platform/network_listener.h"

#include "platform/posix/errno_error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

static SocketHandle posixListenLoopback(const uint8_t address[4], uint16_t port,
                                        PlatformError* error) {
    if (!isLoopbackAddress(address)) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return INVALID_SOCKET_HANDLE;
    }
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return INVALID_SOCKET_HANDLE;
    }
    int reuse = 1;
    setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    // Set before listen, so that every accepted connection has it from its first segment.
    int receiveBuffer = LISTENER_RECEIVE_BUFFER;
    setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl((uint32_t{address[0]} << 24) | (uint32_t{address[1]} << 16) |
                                  (uint32_t{address[2]} << 8) | uint32_t{address[3]});
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(descriptor, 4) != 0) {
        reportErrno(error, errno);
        ::close(descriptor);
        return INVALID_SOCKET_HANDLE;
    }
    return descriptor;
}

static uint16_t posixLocalPort(SocketHandle socket) {
    sockaddr_in local = {};
    socklen_t length = sizeof local;
    if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

static SocketWait posixWaitReadable(SocketHandle socket, uint32_t timeoutMilliseconds) {
    pollfd entry = {static_cast<int>(socket), POLLIN, 0};
    int ready = poll(&entry, 1, static_cast<int>(timeoutMilliseconds));
    if (ready < 0) {
        return errno == EINTR ? SOCKET_WAIT_TIMEOUT : SOCKET_WAIT_FAILED;
    }
    return ready == 0 ? SOCKET_WAIT_TIMEOUT : SOCKET_WAIT_READY;
}

static SocketHandle posixAccept(SocketHandle listener, PlatformError* error) {
    int descriptor = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return INVALID_SOCKET_HANDLE;
    }
    return descriptor;
}

static const NetworkListenerService posixNetworkListener = {
    .listenLoopback = posixListenLoopback,
    .localPort = posixLocalPort,
    .waitReadable = posixWaitReadable,
    .accept = posixAccept,
};

const NetworkListenerService* networkListenerService = &posixNetworkListener;
