#pragma once

// The network service for tests: forwards to the service in force when it was installed (real
// loopback sockets), records every call, and fails or shortens calls on request. Installed for
// the lifetime of the object. A simulator server started before it keeps the real service.

#include "platform/network.h"

#include <cstdint>
#include <mutex>
#include <vector>

class NetworkDouble {
  public:
    NetworkDouble();
    ~NetworkDouble();
    NetworkDouble(const NetworkDouble&) = delete;
    NetworkDouble& operator=(const NetworkDouble&) = delete;

    // Faults: the next startups or socket creations fail with the error; every send accepts at
    // most sendLimit bytes (0: all).
    void failStartup(PlatformError error);
    void failOpenStream(PlatformError error);
    void limitSends(uint32_t sendLimit);
    // After this many more sends, every send accepts nothing and reports 0 without an error.
    void stallSendsAfter(int sends);

    int startups() const;
    int cleanups() const;
    std::vector<SocketHandle> opened() const;
    std::vector<SocketHandle> closed() const;
    std::vector<std::vector<uint8_t>> sent() const; // the bytes each send offered
    std::vector<uint32_t> connectTimeouts() const;  // the bound of each connect
    std::vector<uint32_t> sendTimeouts() const;     // the bound of each send
    std::vector<uint32_t> receiveTimeouts() const;  // the bound of each receive

  private:
    friend struct NetworkDoubleBackend;
    static NetworkDouble* active_;

    mutable std::mutex mutex_;
    const NetworkService* real_;
    PlatformError startupError_ = {};
    PlatformError openStreamError_ = {};
    uint32_t sendLimit_ = 0;
    int sendsBeforeStall_ = -1;
    int startups_ = 0;
    int cleanups_ = 0;
    std::vector<SocketHandle> opened_;
    std::vector<SocketHandle> closed_;
    std::vector<std::vector<uint8_t>> sent_;
    std::vector<uint32_t> connectTimeouts_;
    std::vector<uint32_t> sendTimeouts_;
    std::vector<uint32_t> receiveTimeouts_;
};
