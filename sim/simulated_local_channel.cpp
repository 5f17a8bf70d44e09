#include "sim/simulated_local_channel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// The errors the simulated channel reports: with the Windows numbers, as the product sees them
// there (ERROR_FILE_NOT_FOUND, ERROR_DEVICE_NOT_CONNECTED).
constexpr PlatformError SIM_ERROR_FILE_NOT_FOUND = {PLATFORM_ERROR_NOT_FOUND, 2};
constexpr PlatformError SIM_ERROR_DEVICE_NOT_CONNECTED = {PLATFORM_ERROR_NOT_FOUND, 1167};
// What a write that the printer took nothing of within the channel's bound reports
// (ERROR_SEM_TIMEOUT).
constexpr PlatformError SIM_ERROR_SEM_TIMEOUT = {PLATFORM_ERROR_TIMED_OUT, 121};

SimulatedLocalChannel* SimulatedLocalChannel::active_ = nullptr;

SimulatedPrinter* SimulatedLocalChannel::printerOf(ChannelHandle channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = open_.find(channel);
    return found == open_.end() ? nullptr : found->second;
}

// Copies a reply into a caller's buffer of the given size.
static void deliver(const std::vector<uint8_t>& reply, uint8_t* buffer, uint32_t size,
                    uint32_t* received) {
    uint32_t count = std::min<uint32_t>(size, static_cast<uint32_t>(reply.size()));
    if (count > 0) {
        memcpy(buffer, reply.data(), count);
    }
    *received = count;
}

struct SimulatedLocalChannelBackend {
    static SimulatedLocalChannel* self() { return SimulatedLocalChannel::active_; }

    static ChannelHandle open(const char* path, ChannelSharing, PlatformError* error) {
        SimulatedPrinter* printer = nullptr;
        ChannelHandle handle = INVALID_CHANNEL_HANDLE;
        {
            std::lock_guard<std::mutex> lock(self()->mutex_);
            auto found = self()->printers_.find(path);
            if (found == self()->printers_.end()) {
                reportPlatformError(error, SIM_ERROR_FILE_NOT_FOUND);
                return INVALID_CHANNEL_HANDLE;
            }
            printer = found->second;
            handle = self()->nextHandle_++;
            self()->open_[handle] = printer;
        }
        // A printer that closes at once still opened: its first read or write fails.
        printer->open(SIM_CHANNEL_LOCAL);
        return handle;
    }

    static bool read(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                     PlatformError* error) {
        SimulatedPrinter* printer = self()->printerOf(channel);
        std::vector<uint8_t> reply;
        *received = 0;
        if (printer == nullptr || !printer->readLocal(&reply)) {
            reportPlatformError(error, SIM_ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        deliver(reply, buffer, size, received);
        return true;
    }

    static bool write(ChannelHandle channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                      PlatformError* error) {
        SimulatedPrinter* printer = self()->printerOf(channel);
        *written = 0;
        if (printer == nullptr) {
            reportPlatformError(error, SIM_ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        SimOutcome outcome = printer->receive(SIM_CHANNEL_LOCAL, bytes, size);
        if (outcome.close && outcome.accepted == 0) {
            reportPlatformError(error, SIM_ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        // A printer that stopped reading: the write's bound passes with nothing taken (at once,
        // since the simulated channel has no clock of its own).
        if (outcome.stalled && outcome.accepted == 0) {
            reportPlatformError(error, SIM_ERROR_SEM_TIMEOUT);
            return false;
        }
        *written = outcome.accepted;
        return true;
    }

    static bool close(ChannelHandle channel) {
        SimulatedPrinter* printer = self()->printerOf(channel);
        if (printer == nullptr) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(self()->mutex_);
            self()->open_.erase(channel);
        }
        printer->close(SIM_CHANNEL_LOCAL, false);
        return true;
    }

    static bool requestDeviceId(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                                uint32_t* received, PlatformError* error) {
        SimulatedPrinter* printer = self()->printerOf(channel);
        std::vector<uint8_t> reply;
        *received = 0;
        if (printer == nullptr || !printer->requestDeviceIdLocal(&reply)) {
            reportPlatformError(error, SIM_ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        deliver(reply, buffer, size, received);
        return true;
    }

    static bool getTimeouts(ChannelHandle, ChannelTimeouts* timeouts, PlatformError*) {
        std::lock_guard<std::mutex> lock(self()->mutex_);
        *timeouts = self()->timeouts_;
        return true;
    }

    static bool setTimeouts(ChannelHandle, const ChannelTimeouts* timeouts, PlatformError*) {
        std::lock_guard<std::mutex> lock(self()->mutex_);
        self()->timeouts_ = *timeouts;
        return true;
    }

    // The simulated printers attached on a path outside the fixed table and the parallel
    // ports, as a system lists its USB printers.
    static uint32_t listPrinterDevices(ListedPrinterDevice* devices, uint32_t capacity) {
        std::lock_guard<std::mutex> lock(self()->mutex_);
        uint32_t count = 0;
        for (const auto& [path, printer] : self()->printers_) {
            if (count < capacity && path.rfind("/dev/", 0) == 0) {
                snprintf(devices[count].path, sizeof devices[count].path, "%s", path.c_str());
                snprintf(devices[count].deviceId, sizeof devices[count].deviceId, "%s",
                         printer->deviceId().c_str());
                ++count;
            }
        }
        return count;
    }
};

static const LocalChannelService simulatedLocalChannelService = {
    .open = SimulatedLocalChannelBackend::open,
    .read = SimulatedLocalChannelBackend::read,
    .write = SimulatedLocalChannelBackend::write,
    .close = SimulatedLocalChannelBackend::close,
    .requestDeviceId = SimulatedLocalChannelBackend::requestDeviceId,
    .getTimeouts = SimulatedLocalChannelBackend::getTimeouts,
    .setTimeouts = SimulatedLocalChannelBackend::setTimeouts,
    .listPrinterDevices = SimulatedLocalChannelBackend::listPrinterDevices,
};

SimulatedLocalChannel::SimulatedLocalChannel() : previous_(localChannelService) {
    active_ = this;
    localChannelService = &simulatedLocalChannelService;
}

SimulatedLocalChannel::~SimulatedLocalChannel() {
    localChannelService = previous_;
    active_ = nullptr;
}

void SimulatedLocalChannel::attach(const std::string& path, SimulatedPrinter* printer) {
    std::lock_guard<std::mutex> lock(mutex_);
    printers_[path] = printer;
}
