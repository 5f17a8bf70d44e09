#pragma once

// The local channel service for tests: a scripted conversation. Each call of the service must
// match the next step of the script (a mismatch fails the test and the call); the step says
// what the call returns. Writes are recorded. Installed for the lifetime of the object.
//
//   ScriptedChannel channel({
//       {CHANNEL_STEP_READ, bytes("S\0\0\0\1")},
//       {CHANNEL_STEP_DEVICE_ID, bytes("MDL:XG1;FWV:V1.05;")},
//       {CHANNEL_STEP_READ, {}, false, {PLATFORM_ERROR_OTHER, 995}},   // a read that fails
//   });

#include "platform/local_channel.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

enum ChannelStepKind {
    CHANNEL_STEP_OPEN,
    CHANNEL_STEP_READ,
    CHANNEL_STEP_WRITE,
    CHANNEL_STEP_CLOSE,
    CHANNEL_STEP_DEVICE_ID,
    CHANNEL_STEP_GET_TIMEOUTS,
    CHANNEL_STEP_SET_TIMEOUTS,
};

struct ChannelStep {
    ChannelStepKind kind;
    std::vector<uint8_t> reply; // read and device id: the bytes delivered
    bool succeeds = true;
    PlatformError error = {};
    int32_t accepted = -1; // write: bytes accepted, or -1 for all of them
};

// What the script saw, in order.
struct ChannelCall {
    ChannelStepKind kind;
    std::string path;           // open
    ChannelSharing sharing;     // open
    std::vector<uint8_t> bytes; // write
    uint32_t size;              // read and device id: the size asked for
};

// The bytes of a text, without its terminating NUL; a NUL inside the literal is kept when the
// length is given.
std::vector<uint8_t> bytes(const char* text);
std::vector<uint8_t> bytes(const char* text, size_t length);

class ScriptedChannel {
  public:
    // The handle every successful open returns.
    static constexpr ChannelHandle HANDLE = 0x1234;

    explicit ScriptedChannel(std::vector<ChannelStep> script);
    ~ScriptedChannel();
    ScriptedChannel(const ScriptedChannel&) = delete;
    ScriptedChannel& operator=(const ScriptedChannel&) = delete;

    std::vector<ChannelCall> calls() const;
    size_t stepsLeft() const;

    // Timeouts returned by a successful get step, and the record a set step received.
    ChannelTimeouts timeouts = {};

    // What the system's listing of printer devices returns (it is not a step of the script).
    std::vector<ListedPrinterDevice> listed;

  private:
    bool next(ChannelStepKind kind, ChannelStep* step);
    static ScriptedChannel* active_;
    friend struct ScriptedChannelBackend;

    mutable std::mutex mutex_;
    std::vector<ChannelStep> script_;
    size_t position_ = 0;
    std::vector<ChannelCall> calls_;
    const LocalChannelService* previous_;
};
