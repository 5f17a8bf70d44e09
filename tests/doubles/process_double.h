#pragma once

// The process service for tests: children that play a script instead of running. The test
// says, from a child's arguments, what it writes on its two streams, after how many looks at it
// it ends and with which exit code, and whether an interrupt ends it at once (a run still
// probing) or not (a run whose image is being written). Installed for the lifetime of the
// object.

#include "platform/process.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct ChildScript {
    std::string output; // standard output, all there at the end
    std::string errors; // standard error, all there from the start
    int exitCode = 0;
    int looks = 1; // calls of childEnded before it has ended
    bool endsOnInterrupt = true;
    std::string interruptedOutput; // standard output instead, when an interrupt ended it
    int interruptedExitCode = 2;
};

class ProcessDouble {
  public:
    explicit ProcessDouble(std::function<ChildScript(const std::vector<std::string>&)> script);
    ~ProcessDouble();
    ProcessDouble(const ProcessDouble&) = delete;
    ProcessDouble& operator=(const ProcessDouble&) = delete;

    // The arguments of every child started, in order, and of every child interrupted.
    std::vector<std::vector<std::string>> started() const;
    std::vector<std::vector<std::string>> interrupted() const;
    // The children running now (a script asked at a start counts its own), the most that ran at
    // once, and whether every handle was let go.
    int runningNow() const;
    int mostAtOnce() const;
    bool allReleased() const;

  private:
    struct Child {
        std::vector<std::string> arguments;
        ChildScript script;
        bool interrupted = false;
        bool ended = false;
        bool read[2] = {false, false};
        bool released = false;
    };

    static ChildHandle startSelf(const char* const* arguments, PlatformError* error);
    static int32_t readChild(ChildHandle child, ChildStream stream, char* buffer, uint32_t size);
    static bool childEnded(ChildHandle child, int* exitCode);
    static bool interruptChild(ChildHandle child);
    static void releaseChild(ChildHandle child);
    Child& childOf(ChildHandle handle);
    int running() const;

    mutable std::mutex mutex_;
    std::function<ChildScript(const std::vector<std::string>&)> script_;
    std::vector<Child> children_; // handle = index + 1
    int mostAtOnce_ = 0;
    const ProcessService* previous_;
    static ProcessDouble* active_;
    static const ProcessService service_;
};
