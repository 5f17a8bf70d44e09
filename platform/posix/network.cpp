// Network service on Linux: BSD sockets. Nothing needs starting; descriptors are close-on-exec
// and sends never raise SIGPIPE.
#include "platform/network.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

static bool posixStartup(PlatformError*) {
    return true;
}

static void posixCleanup() {}

static SocketHandle posixOpenStream(PlatformError* error) {
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return INVALID_SOCKET_HANDLE;
    }
    int sendBuffer = NETWORK_SEND_BUFFER;
    setsockopt(descriptor, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    return descriptor;
}

// Waits for the given poll events; a time-out is the program's, reported without a number.
static bool waitFor(int descriptor, short events, uint32_t timeoutMilliseconds,
                    PlatformError* error) {
    pollfd entry = {descriptor, events, 0};
    int ready;
    do {
        ready = poll(&entry, 1, static_cast<int>(timeoutMilliseconds));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        reportErrno(error, errno);
        return false;
    }
    if (ready == 0) {
        reportPlatformError(error, {PLATFORM_ERROR_TIMED_OUT, 0});
        return false;
    }
    return true;
}

static bool setBlocking(int descriptor, bool blocking) {
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0) {
        return false;
    }
    flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    return fcntl(descriptor, F_SETFL, flags) == 0;
}

// The outcome of a non-blocking connect once the socket became writable.
static bool connectResult(int descriptor, PlatformError* error) {
    int result = 0;
    socklen_t length = sizeof result;
    if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &result, &length) != 0) {
        result = errno;
    }
    if (result != 0) {
        reportErrno(error, result);
        return false;
    }
    return true;
}

static bool posixConnect(SocketHandle socket, const uint8_t address[4], uint16_t port,
                         uint32_t timeoutMilliseconds, PlatformError* error) {
    int descriptor = static_cast<int>(socket);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl((uint32_t{address[0]} << 24) | (uint32_t{address[1]} << 16) |
                                 (uint32_t{address[2]} << 8) | uint32_t{address[3]});
    // Non-blocking for the connect alone, so that its wait has our bound, not the system's.
    if (!setBlocking(descriptor, false)) {
        reportErrno(error, errno);
        return false;
    }
    bool connected = ::connect(descriptor, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
    if (!connected && errno != EINPROGRESS) {
        reportErrno(error, errno);
    } else if (!connected) {
        connected = waitFor(descriptor, POLLOUT, timeoutMilliseconds, error) &&
                    connectResult(descriptor, error);
    }
    if (!setBlocking(descriptor, true) && connected) {
        reportErrno(error, errno);
        return false;
    }
    return connected;
}

// SO_SNDTIMEO bounds a blocking send: it returns what was taken by then, or fails with EAGAIN
// when nothing was.
static int32_t posixSend(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                         uint32_t timeoutMilliseconds, PlatformError* error) {
    timeval bound = {static_cast<time_t>(timeoutMilliseconds / 1000),
                     static_cast<suseconds_t>((timeoutMilliseconds % 1000) * 1000)};
    if (setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound) != 0) {
        reportErrno(error, errno);
        return -1;
    }
    ssize_t count = ::send(static_cast<int>(socket), bytes, size, MSG_NOSIGNAL);
    if (count < 0) {
        reportErrno(error, errno);
        return -1;
    }
    return static_cast<int32_t>(count);
}

static int32_t posixReceive(SocketHandle socket, uint8_t* buffer, uint32_t size,
                            uint32_t timeoutMilliseconds, PlatformError* error) {
    int descriptor = static_cast<int>(socket);
    if (!waitFor(descriptor, POLLIN, timeoutMilliseconds, error)) {
        return -1;
    }
    ssize_t count = ::recv(descriptor, buffer, size, 0);
    if (count < 0) {
        reportErrno(error, errno);
        return -1;
    }
    return static_cast<int32_t>(count);
}

static bool posixClose(SocketHandle socket) {
    return ::close(static_cast<int>(socket)) == 0;
}

// getaddrinfo's own codes carry no errno, except EAI_SYSTEM.
static PlatformError resolverError(int code) {
    switch (code) {
    case EAI_SYSTEM:
        return errnoError(errno);
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return {PLATFORM_ERROR_NOT_FOUND, 0};
    case EAI_AGAIN:
        return {PLATFORM_ERROR_UNREACHABLE, 0};
    default:
        return {PLATFORM_ERROR_OTHER, 0};
    }
}

static bool posixResolveIpv4(const char* host, uint8_t address[4], PlatformError* error) {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    int code = getaddrinfo(host, nullptr, &hints, &found);
    if (code != 0) {
        reportPlatformError(error, resolverError(code));
        return false;
    }
    // The address is in network order: its most significant octet first.
    memcpy(address, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, 4);
    freeaddrinfo(found);
    return true;
}

static const NetworkService posixNetwork = {
    .startup = posixStartup,
    .cleanup = posixCleanup,
    .openStream = posixOpenStream,
    .connect = posixConnect,
    .send = posixSend,
    .receive = posixReceive,
    .close = posixClose,
    .resolveIpv4 = posixResolveIpv4,
};

const NetworkService* networkService = &posixNetwork;
