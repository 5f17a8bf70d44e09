#pragma once

// The local channel service backed by simulated printers: while an instance lives it is the
// program's localChannelService, and opening a path that was attached to a simulated printer
// starts a conversation with it (writes are commands and image bytes, a read returns the
// status reply or a reply the printer holds, the device-id request returns the device id).
// Other paths fail to open with error 2 (file not found).

#include "platform/local_channel.h"
#include "sim/simulated_printer.h"

#include <map>
#include <mutex>
#include <string>

class SimulatedLocalChannel {
  public:
    SimulatedLocalChannel();
    ~SimulatedLocalChannel();
    SimulatedLocalChannel(const SimulatedLocalChannel&) = delete;
    SimulatedLocalChannel& operator=(const SimulatedLocalChannel&) = delete;

    void attach(const std::string& path, SimulatedPrinter* printer);

  private:
    friend struct SimulatedLocalChannelBackend;
    SimulatedPrinter* printerOf(ChannelHandle channel);

    std::mutex mutex_;
    std::map<std::string, SimulatedPrinter*> printers_;
    std::map<ChannelHandle, SimulatedPrinter*> open_;
    ChannelHandle nextHandle_ = 0x5100;
    ChannelTimeouts timeouts_ = DEFAULT_CHANNEL_TIMEOUTS;
    const LocalChannelService* previous_;
    static SimulatedLocalChannel* active_;
};
