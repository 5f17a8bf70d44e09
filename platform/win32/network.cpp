// Network service on Windows: Windows Sockets 2.2. The connect and every receive wait in
// select(), so that a silent peer cannot hold the caller longer than its bound.
#include "platform/network.h"

#include "platform/win32/win32_error.h"

#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>

static bool win32Startup(PlatformError* error) {
    WSADATA data;
    int result = WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) {
        reportPlatformError(error, win32Error(static_cast<uint32_t>(result)));
        return false;
    }
    return true;
}

static void win32Cleanup() {
    WSACleanup();
}

static SocketHandle win32OpenStream(PlatformError* error) {
    // No inheritance: a child process must not keep the printer's connection open.
    SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                               WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        reportSocketError(error);
        return INVALID_SOCKET_HANDLE;
    }
    int sendBuffer = NETWORK_SEND_BUFFER;
    setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer),
               sizeof sendBuffer);
    return static_cast<SocketHandle>(socket);
}

static timeval timeoutValue(uint32_t milliseconds) {
    timeval value;
    value.tv_sec = static_cast<long>(milliseconds / 1000);
    value.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
    return value;
}

// Waits until a non-blocking connect has finished; true when it connected.
static bool waitForConnect(SOCKET socket, uint32_t timeoutMilliseconds, PlatformError* error) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval timeout = timeoutValue(timeoutMilliseconds);
    int ready = select(0, nullptr, &writable, &failed, &timeout);
    if (ready == SOCKET_ERROR) {
        reportSocketError(error);
        return false;
    }
    if (ready == 0) {
        reportPlatformError(error, {PLATFORM_ERROR_TIMED_OUT, 0});
        return false;
    }
    if (FD_ISSET(socket, &failed)) {
        int result = 0;
        int length = sizeof result;
        getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &length);
        reportPlatformError(error, win32Error(static_cast<uint32_t>(result)));
        return false;
    }
    return true;
}

static bool setBlocking(SOCKET socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

static bool win32Connect(SocketHandle handle, const uint8_t address[4], uint16_t port,
                         uint32_t timeoutMilliseconds, PlatformError* error) {
    SOCKET socket = static_cast<SOCKET>(handle);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl((u_long{address[0]} << 24) | (u_long{address[1]} << 16) |
                                 (u_long{address[2]} << 8) | u_long{address[3]});
    if (!setBlocking(socket, false)) {
        reportSocketError(error);
        return false;
    }
    bool connected =
        ::connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != SOCKET_ERROR;
    if (!connected && WSAGetLastError() != WSAEWOULDBLOCK) {
        reportSocketError(error);
    } else if (!connected) {
        connected = waitForConnect(socket, timeoutMilliseconds, error);
    }
    if (!setBlocking(socket, true) && connected) {
        reportSocketError(error);
        return false;
    }
    return connected;
}

// SO_SNDTIMEO bounds a blocking send; a send that times out fails with WSAETIMEDOUT.
static int32_t win32Send(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                         uint32_t timeoutMilliseconds, PlatformError* error) {
    DWORD bound = timeoutMilliseconds;
    if (setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO,
                   reinterpret_cast<const char*>(&bound), sizeof bound) == SOCKET_ERROR) {
        reportSocketError(error);
        return -1;
    }
    int count = ::send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes),
                       static_cast<int>(size), 0);
    if (count == SOCKET_ERROR) {
        reportSocketError(error);
        return -1;
    }
    return count;
}

static int32_t win32Receive(SocketHandle handle, uint8_t* buffer, uint32_t size,
                            uint32_t timeoutMilliseconds, PlatformError* error) {
    SOCKET socket = static_cast<SOCKET>(handle);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval timeout = timeoutValue(timeoutMilliseconds);
    int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) {
        reportSocketError(error);
        return -1;
    }
    if (ready == 0) {
        reportPlatformError(error, {PLATFORM_ERROR_TIMED_OUT, 0});
        return -1;
    }
    int count = ::recv(socket, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (count == SOCKET_ERROR) {
        reportSocketError(error);
        return -1;
    }
    return count;
}

static bool win32Close(SocketHandle socket) {
    return closesocket(static_cast<SOCKET>(socket)) == 0;
}

static bool win32ResolveIpv4(const char* host, uint8_t address[4], PlatformError* error) {
    addrinfo onlyIpv4 = {};
    onlyIpv4.ai_family = AF_INET;
    addrinfo* results = nullptr;
    int failure = getaddrinfo(host, nullptr, &onlyIpv4, &results);
    if (failure != 0) {
        reportPlatformError(error, win32Error(static_cast<uint32_t>(failure)));
        return false;
    }
    // In network order, as the caller wants it: the most significant octet first.
    memcpy(address, &reinterpret_cast<sockaddr_in*>(results->ai_addr)->sin_addr, 4);
    freeaddrinfo(results);
    return true;
}

static const NetworkService win32Network = {
    .startup = win32Startup,
    .cleanup = win32Cleanup,
    .openStream = win32OpenStream,
    .connect = win32Connect,
    .send = win32Send,
    .receive = win32Receive,
    .close = win32Close,
    .resolveIpv4 = win32ResolveIpv4,
};

const NetworkService* networkService = &win32Network;
