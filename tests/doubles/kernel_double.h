#pragma once

// The kernel service for tests: a virtual clock that returns at once and records every wait,
// a capture of every diagnostic line, and single-instance markers kept in memory. Installed
// for the lifetime of the object.

#include "platform/kernel.h"

#include <cstdint>
#include <map>
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

    // Markers: a name is held from a creation that reported 0 until that handle's release.
    // holdMarker makes a name held as if by another process; failMarkerCreation makes every
    // later creation fail with this error (0 to stop).
    void holdMarker(const std::string& name);
    bool markerHeld(const std::string& name) const;
    void failMarkerCreation(PlatformError error);

  private:
    static void sleep(uint32_t milliseconds);
    static void debugLog(const char* line);
    static MarkerHandle createMarker(const char* name, PlatformError* error);
    static void releaseMarker(MarkerHandle marker);

    mutable std::mutex mutex_;
    std::vector<uint32_t> waits_;
    std::vector<std::string> lines_;
    std::map<std::string, MarkerHandle> markerHolders_;
    MarkerHandle lastMarker_ = 0x4000;
    PlatformError markerFailure_ = 0;
    const KernelService* previous_;
    static KernelDouble* active_;
    static const KernelService service_;
};
