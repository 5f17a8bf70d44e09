#pragma once

// The kernel service for tests: a virtual clock that returns at once and records every wait,
// and a capture of every diagnostic line. Installed for the lifetime of the object.

#include "platform/kernel.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class KernelDouble {
  public:
    KernelDouble();
    ~KernelDouble();
    KernelDouble(const KernelDouble&) = delete;
    KernelDouble& operator=(const KernelDouble&) = delete;

    // Every wait asked for, in order, and their sum.
    std::vector<uint32_t> waits() const;
    uint64_t elapsedMilliseconds() const;
    void clearWaits();

    // Every diagnostic line, in order.
    std::vector<std::string> logLines() const;
    bool logged(const std::string& line) const;
    void clearLog();

  private:
    static void sleep(uint32_t milliseconds);
    static void debugLog(const char* line);

    mutable std::mutex mutex_;
    std::vector<uint32_t> waits_;
    std::vector<std::string> lines_;
    const KernelService* previous_;
    static KernelDouble* active_;
    static const KernelService service_;
};
