#include "cli/stream_counter.h"

#include <atomic>

namespace {

const NetworkService* plainNetwork = nullptr;
const LocalChannelService* plainChannel = nullptr;
NetworkService countingNetwork;
LocalChannelService countingChannel;

std::atomic<SocketHandle> countedSocket{INVALID_SOCKET_HANDLE};
std::atomic<ChannelHandle> countedChannel{INVALID_CHANNEL_HANDLE};
std::atomic<uint64_t> counted{0};

int32_t countingSend(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                     uint32_t timeoutMilliseconds, PlatformError* error) {
    int32_t sent = plainNetwork->send(socket, bytes, size, timeoutMilliseconds, error);
    if (sent > 0 && socket == countedSocket.load()) {
        counted += static_cast<uint64_t>(sent);
    }
    return sent;
}

// A closed handle number can come back for the next socket or channel; that one is not the
// writer's.
bool countingCloseSocket(SocketHandle socket) {
    SocketHandle expected = socket;
    countedSocket.compare_exchange_strong(expected, INVALID_SOCKET_HANDLE);
    return plainNetwork->close(socket);
}

bool countingWrite(ChannelHandle channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                   PlatformError* error) {
    bool done = plainChannel->write(channel, bytes, size, written, error);
    if (done && channel == countedChannel.load()) {
        counted += *written;
    }
    return done;
}

bool countingCloseChannel(ChannelHandle channel) {
    ChannelHandle expected = channel;
    countedChannel.compare_exchange_strong(expected, INVALID_CHANNEL_HANDLE);
    return plainChannel->close(channel);
}

} // namespace

void installStreamCounter() {
    plainNetwork = networkService;
    countingNetwork = *networkService;
    countingNetwork.send = countingSend;
    countingNetwork.close = countingCloseSocket;
    networkService = &countingNetwork;

    plainChannel = localChannelService;
    countingChannel = *localChannelService;
    countingChannel.write = countingWrite;
    countingChannel.close = countingCloseChannel;
    localChannelService = &countingChannel;
}

void countStreamOn(SocketHandle socket, ChannelHandle channel) {
    counted = 0;
    countedSocket = socket;
    countedChannel = channel;
}

uint64_t streamedBytes() {
    return counted.load();
}
