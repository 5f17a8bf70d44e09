// Listening side of TCP on Windows, for the printer simulator.
#include "platform/network_listener.h"

#include "platform/win32/win32_error.h"

#include <winsock2.h>

static SocketHandle win32ListenLoopback(const uint8_t address[4], uint16_t port,
                                        PlatformError* error) {
    if (!isLoopbackAddress(address)) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return INVALID_SOCKET_HANDLE;
    }
    SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                 WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (listener == INVALID_SOCKET) {
        reportSocketError(error);
        return INVALID_SOCKET_HANDLE;
    }
    // Set before listen, so that every accepted connection has it from its first segment.
    int receiveBuffer = LISTENER_RECEIVE_BUFFER;
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
               sizeof receiveBuffer);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl((uint32_t{address[0]} << 24) | (uint32_t{address[1]} << 16) |
                                  (uint32_t{address[2]} << 8) | uint32_t{address[3]});
    if (bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        listen(listener, 4) == SOCKET_ERROR) {
        reportSocketError(error);
        closesocket(listener);
        return INVALID_SOCKET_HANDLE;
    }
    return static_cast<SocketHandle>(listener);
}

static uint16_t win32LocalPort(SocketHandle socket) {
    sockaddr_in local = {};
    int length = sizeof local;
    if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&local), &length) ==
        SOCKET_ERROR) {
        return 0;
    }
    return ntohs(local.sin_port);
}

static SocketWait win32WaitReadable(SocketHandle socket, uint32_t timeoutMilliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval timeout;
    timeout.tv_sec = static_cast<long>(timeoutMilliseconds / 1000);
    timeout.tv_usec = static_cast<long>(timeoutMilliseconds % 1000) * 1000;
    int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) {
        return SOCKET_WAIT_FAILED;
    }
    return ready == 0 ? SOCKET_WAIT_TIMEOUT : SOCKET_WAIT_READY;
}

static SocketHandle win32Accept(SocketHandle listener, PlatformError* error) {
    SOCKET socket = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        reportSocketError(error);
        return INVALID_SOCKET_HANDLE;
    }
    return static_cast<SocketHandle>(socket);
}

static const NetworkListenerService win32NetworkListener = {
    .listenLoopback = win32ListenLoopback,
    .localPort = win32LocalPort,
    .waitReadable = win32WaitReadable,
    .accept = win32Accept,
};

const NetworkListenerService* networkListenerService = &win32NetworkListener;
