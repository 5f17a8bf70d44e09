#pragma once

// The kernel service for tests: a virtual clock that returns at once and records every wait,
// a capture of every diagnostic line, single-instance markers kept in memory, and worker
// threads that are real threads the test can wait for. Installed for the lifetime of the
// object; its end waits for every worker it started.

#include "platform/kernel.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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

    // Markers: a name is held from a creation that reported no error until that handle's release.
    // holdMarker makes a name held as if by another process; failMarkerCreation makes every
    // later creation fail with this error (no error to stop).
    void holdMarker(const std::string& name);
    bool markerHeld(const std::string& name) const;
    void failMarkerCreation(PlatformError error);

    // Worker threads: every stack size asked for, in order; failThreadStart makes every later
    // start fail with this error (no error to stop); waitForThreads waits at most the given real
    // time for every started worker to return, and says whether they all did.
    std::vector<uint32_t> threadStackSizes() const;
    void failThreadStart(PlatformError error);
    bool waitForThreads(uint32_t milliseconds);

  private:
    static void sleep(uint32_t milliseconds);
    static void debugLog(const char* line);
    static bool debugLogWanted() { return true; }
    static MarkerHandle createMarker(const char* name, PlatformError* error);
    static void releaseMarker(MarkerHandle marker);
    static void markerHolder(const char* name, MarkerHolder* holder);
    static bool startThread(ThreadBody body, void* argument, uint32_t stackBytes,
                            PlatformError* error);
    void runWorker(ThreadBody body, void* argument);

    mutable std::mutex mutex_;
    std::vector<uint32_t> waits_;
    std::vector<std::string> lines_;
    std::map<std::string, MarkerHandle> markerHolders_;
    MarkerHandle lastMarker_ = 0x4000;
    PlatformError markerFailure_ = {};
    std::vector<uint32_t> stackSizes_;
    PlatformError threadFailure_ = {};
    int runningThreads_ = 0;
    std::condition_variable threadEnded_;
    std::vector<std::thread> threads_;
    const KernelService* previous_;
    static KernelDouble* active_;
    static const KernelService service_;
};
