#include "tests/doubles/scripted_channel.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

ScriptedChannel* ScriptedChannel::active_ = nullptr;

std::vector<uint8_t> bytes(const char* text) {
    return bytes(text, strlen(text));
}

std::vector<uint8_t> bytes(const char* text, size_t length) {
    return std::vector<uint8_t>(text, text + length);
}

static const char* stepName(ChannelStepKind kind) {
    static const char* const names[] = {"open",      "read",         "write",       "close",
                                        "device id", "get timeouts", "set timeouts"};
    return names[kind];
}

bool ScriptedChannel::next(ChannelStepKind kind, ChannelStep* step) {
    if (position_ >= script_.size()) {
        ADD_FAILURE() << "unexpected " << stepName(kind) << " after the end of the script";
        return false;
    }
    if (script_[position_].kind != kind) {
        ADD_FAILURE() << "step " << position_ << ": expected " << stepName(script_[position_].kind)
                      << ", got " << stepName(kind);
        return false;
    }
    *step = script_[position_++];
    return true;
}

// Delivers a step's reply bytes into a caller's buffer of the given size.
static void deliver(const ChannelStep& step, uint8_t* buffer, uint32_t size, uint32_t* received) {
    uint32_t count = std::min<uint32_t>(size, static_cast<uint32_t>(step.reply.size()));
    std::copy(step.reply.begin(), step.reply.begin() + count, buffer);
    *received = count;
}

struct ScriptedChannelBackend {
    static ChannelHandle open(const char* path, ChannelSharing sharing, PlatformError* error) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({CHANNEL_STEP_OPEN, path, sharing, {}, 0});
        ChannelStep step;
        if (!self->next(CHANNEL_STEP_OPEN, &step) || !step.succeeds) {
            reportPlatformError(error, step.error);
            return INVALID_CHANNEL_HANDLE;
        }
        return ScriptedChannel::HANDLE;
    }

    static bool read(ChannelHandle, uint8_t* buffer, uint32_t size, uint32_t* received,
                     PlatformError* error) {
        return replyStep(CHANNEL_STEP_READ, buffer, size, received, error);
    }

    static bool requestDeviceId(ChannelHandle, uint8_t* buffer, uint32_t size, uint32_t* received,
                                PlatformError* error) {
        return replyStep(CHANNEL_STEP_DEVICE_ID, buffer, size, received, error);
    }

    static bool replyStep(ChannelStepKind kind, uint8_t* buffer, uint32_t size, uint32_t* received,
                          PlatformError* error) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({kind, "", CHANNEL_SHARED, {}, size});
        *received = 0;
        ChannelStep step;
        if (!self->next(kind, &step) || !step.succeeds) {
            reportPlatformError(error, step.error);
            return false;
        }
        deliver(step, buffer, size, received);
        return true;
    }

    static bool write(ChannelHandle, const uint8_t* bytes, uint32_t size, uint32_t* written,
                      PlatformError* error) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({CHANNEL_STEP_WRITE, "", CHANNEL_SHARED,
                                std::vector<uint8_t>(bytes, bytes + size), size});
        *written = 0;
        ChannelStep step;
        if (!self->next(CHANNEL_STEP_WRITE, &step) || !step.succeeds) {
            reportPlatformError(error, step.error);
            return false;
        }
        *written = step.accepted < 0 ? size : std::min<uint32_t>(size, step.accepted);
        return true;
    }

    static bool close(ChannelHandle) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({CHANNEL_STEP_CLOSE, "", CHANNEL_SHARED, {}, 0});
        ChannelStep step;
        return self->next(CHANNEL_STEP_CLOSE, &step) && step.succeeds;
    }

    static bool getTimeouts(ChannelHandle, ChannelTimeouts* timeouts, PlatformError* error) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({CHANNEL_STEP_GET_TIMEOUTS, "", CHANNEL_SHARED, {}, 0});
        ChannelStep step;
        if (!self->next(CHANNEL_STEP_GET_TIMEOUTS, &step) || !step.succeeds) {
            reportPlatformError(error, step.error);
            return false;
        }
        *timeouts = self->timeouts;
        return true;
    }

    static bool setTimeouts(ChannelHandle, const ChannelTimeouts* timeouts, PlatformError* error) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({CHANNEL_STEP_SET_TIMEOUTS, "", CHANNEL_SHARED, {}, 0});
        ChannelStep step;
        if (!self->next(CHANNEL_STEP_SET_TIMEOUTS, &step) || !step.succeeds) {
            reportPlatformError(error, step.error);
            return false;
        }
        self->timeouts = *timeouts;
        return true;
    }

    static uint32_t listPrinterDevices(ListedPrinterDevice* devices, uint32_t capacity) {
        ScriptedChannel* self = ScriptedChannel::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        uint32_t count = 0;
        for (; count < capacity && count < self->listed.size(); ++count) {
            devices[count] = self->listed[count];
        }
        return count;
    }
};

static const LocalChannelService scriptedLocalChannel = {
    .open = ScriptedChannelBackend::open,
    .read = ScriptedChannelBackend::read,
    .write = ScriptedChannelBackend::write,
    .close = ScriptedChannelBackend::close,
    .requestDeviceId = ScriptedChannelBackend::requestDeviceId,
    .getTimeouts = ScriptedChannelBackend::getTimeouts,
    .setTimeouts = ScriptedChannelBackend::setTimeouts,
    .listPrinterDevices = ScriptedChannelBackend::listPrinterDevices,
};

ScriptedChannel::ScriptedChannel(std::vector<ChannelStep> script)
    : script_(std::move(script)), previous_(localChannelService) {
    active_ = this;
    localChannelService = &scriptedLocalChannel;
}

ScriptedChannel::~ScriptedChannel() {
    localChannelService = previous_;
    active_ = nullptr;
}

std::vector<ChannelCall> ScriptedChannel::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

size_t ScriptedChannel::stepsLeft() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return script_.size() - position_;
}
