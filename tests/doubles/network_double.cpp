#include "tests/doubles/network_double.h"

NetworkDouble* NetworkDouble::active_ = nullptr;

struct NetworkDoubleBackend {
    static NetworkDouble& self() { return *NetworkDouble::active_; }

    static bool startup(PlatformError* error) {
        std::lock_guard<std::mutex> lock(self().mutex_);
        if (platformFailed(self().startupError_)) {
            reportPlatformError(error, self().startupError_);
            return false;
        }
        ++self().startups_;
        return self().real_->startup(error);
    }

    static void cleanup() {
        std::lock_guard<std::mutex> lock(self().mutex_);
        ++self().cleanups_;
        self().real_->cleanup();
    }

    static SocketHandle openStream(PlatformError* error) {
        std::lock_guard<std::mutex> lock(self().mutex_);
        if (platformFailed(self().openStreamError_)) {
            reportPlatformError(error, self().openStreamError_);
            return INVALID_SOCKET_HANDLE;
        }
        SocketHandle socket = self().real_->openStream(error);
        self().opened_.push_back(socket);
        return socket;
    }

    static bool connect(SocketHandle socket, const uint8_t address[4], uint16_t port,
                        uint32_t timeoutMilliseconds, PlatformError* error) {
        {
            std::lock_guard<std::mutex> lock(self().mutex_);
            self().connectTimeouts_.push_back(timeoutMilliseconds);
        }
        return self().real_->connect(socket, address, port, timeoutMilliseconds, error);
    }

    static int32_t send(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                        uint32_t timeoutMilliseconds, PlatformError* error) {
        uint32_t limit = 0;
        {
            std::lock_guard<std::mutex> lock(self().mutex_);
            self().sent_.emplace_back(bytes, bytes + size);
            self().sendTimeouts_.push_back(timeoutMilliseconds);
            limit = self().sendLimit_;
            if (self().sendsBeforeStall_ == 0) {
                return 0;
            }
            if (self().sendsBeforeStall_ > 0) {
                --self().sendsBeforeStall_;
            }
        }
        return self().real_->send(socket, bytes, limit != 0 && size > limit ? limit : size,
                                  timeoutMilliseconds, error);
    }

    static int32_t receive(SocketHandle socket, uint8_t* buffer, uint32_t size,
                           uint32_t timeoutMilliseconds, PlatformError* error) {
        {
            std::lock_guard<std::mutex> lock(self().mutex_);
            self().receiveTimeouts_.push_back(timeoutMilliseconds);
        }
        return self().real_->receive(socket, buffer, size, timeoutMilliseconds, error);
    }

    static bool close(SocketHandle socket) {
        {
            std::lock_guard<std::mutex> lock(self().mutex_);
            self().closed_.push_back(socket);
        }
        return self().real_->close(socket);
    }

    static bool resolveIpv4(const char* host, uint8_t address[4], PlatformError* error) {
        return self().real_->resolveIpv4(host, address, error);
    }
};

static const NetworkService networkDoubleService = {
    .startup = NetworkDoubleBackend::startup,
    .cleanup = NetworkDoubleBackend::cleanup,
    .openStream = NetworkDoubleBackend::openStream,
    .connect = NetworkDoubleBackend::connect,
    .send = NetworkDoubleBackend::send,
    .receive = NetworkDoubleBackend::receive,
    .close = NetworkDoubleBackend::close,
    .resolveIpv4 = NetworkDoubleBackend::resolveIpv4,
};

NetworkDouble::NetworkDouble() : real_(networkService) {
    active_ = this;
    networkService = &networkDoubleService;
}

NetworkDouble::~NetworkDouble() {
    networkService = real_;
    active_ = nullptr;
}

void NetworkDouble::failStartup(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    startupError_ = error;
}

void NetworkDouble::failOpenStream(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    openStreamError_ = error;
}

void NetworkDouble::limitSends(uint32_t sendLimit) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendLimit_ = sendLimit;
}

void NetworkDouble::stallSendsAfter(int sends) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendsBeforeStall_ = sends;
}

int NetworkDouble::startups() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return startups_;
}

int NetworkDouble::cleanups() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cleanups_;
}

std::vector<SocketHandle> NetworkDouble::opened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
}

std::vector<SocketHandle> NetworkDouble::closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

std::vector<std::vector<uint8_t>> NetworkDouble::sent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

std::vector<uint32_t> NetworkDouble::connectTimeouts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connectTimeouts_;
}

std::vector<uint32_t> NetworkDouble::sendTimeouts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sendTimeouts_;
}

std::vector<uint32_t> NetworkDouble::receiveTimeouts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return receiveTimeouts_;
}
