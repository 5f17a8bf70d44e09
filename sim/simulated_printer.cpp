#include "sim/simulated_printer.h"

#include "identity/firmware_catalogue.h"
#include "identity/printer_protocol.h"
#include "identity/sha256.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

static const char* const commandNames[SIM_COMMAND_COUNT] = {"device-id", "status", "flash-mode",
                                                            "flash-confirm"};

const char* simCommandName(SimCommand command) {
    return commandNames[command];
}

bool simCommandFromName(const std::string& name, SimCommand* command) {
    for (int i = 0; i < SIM_COMMAND_COUNT; ++i) {
        if (name == commandNames[i]) {
            *command = static_cast<SimCommand>(i);
            return true;
        }
    }
    return false;
}

const char* simEventKindName(SimEventKind kind) {
    static const char* const names[] = {"opened",  "command", "reply", "write",
                                        "unknown", "closed",  "reset", "departure"};
    return names[kind];
}

// The byte sequences each channel takes as commands.
struct CommandToken {
    SimChannel channel;
    SimCommand command;
    std::string bytes;
};

static const CommandToken commandTokens[] = {
    {SIM_CHANNEL_TCP, SIM_COMMAND_DEVICE_ID, std::string(commandText(DEVICE_ID_REQUEST))},
    {SIM_CHANNEL_TCP, SIM_COMMAND_STATUS, std::string(commandText(STATUS_REQUEST))},
    {SIM_CHANNEL_TCP, SIM_COMMAND_FLASH_MODE, std::string(commandText(FLASH_MODE_REQUEST))},
    {SIM_CHANNEL_TCP, SIM_COMMAND_FLASH_CONFIRM, std::string(commandText(FLASH_CONFIRM_ETHERNET))},
    {SIM_CHANNEL_LOCAL, SIM_COMMAND_FLASH_MODE, std::string(commandText(FLASH_MODE_REQUEST))},
    {SIM_CHANNEL_LOCAL, SIM_COMMAND_FLASH_CONFIRM, std::string(commandText(FLASH_CONFIRM_LOCAL))},
};

static std::vector<uint8_t> textBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

SimulatedPrinter::SimulatedPrinter() : deviceId_(DEFAULT_DEVICE_ID), status_({'S', 0, 0, 0, 0}) {}

void SimulatedPrinter::setDeviceId(const std::string& deviceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    deviceId_ = deviceId;
}

void SimulatedPrinter::setStatus(const std::vector<uint8_t>& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
}

void SimulatedPrinter::setFaults(const SimFaults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
}

std::string SimulatedPrinter::deviceId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deviceId_;
}

std::vector<uint8_t> SimulatedPrinter::statusReply() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return currentStatus();
}

SimFaults SimulatedPrinter::faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

void SimulatedPrinter::setObserver(std::function<void(const SimEvent&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void SimulatedPrinter::record(SimEvent event) {
    if (observer_) {
        observer_(event);
    }
    events_.push_back(std::move(event));
}

// A not-ready printer, or one whose firmware is corrupt, sets byte 3 of its status.
std::vector<uint8_t> SimulatedPrinter::currentStatus() const {
    std::vector<uint8_t> status = status_;
    if (faults_.notReady || corrupt_) {
        status.resize(std::max<size_t>(status.size(), 5), 0);
        status[3] = 1;
    }
    return status;
}

bool SimulatedPrinter::open(SimChannel channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
    heldReplies_.clear();
    closed_ = false;
    stalled_ = false;
    record({SIM_EVENT_OPENED, channel, {}, {}, 0, {}});
    if (faults_.closeOnConnect) {
        closed_ = true;
        return false;
    }
    return true;
}

std::vector<uint8_t> SimulatedPrinter::replyTo(SimChannel channel, SimCommand command) {
    switch (command) {
    case SIM_COMMAND_DEVICE_ID:
        return textBytes(deviceId_);
    case SIM_COMMAND_STATUS:
        return currentStatus();
    case SIM_COMMAND_FLASH_MODE:
        // Over TCP the printer answers only the confirming command; locally a read after
        // ESC "*FR" finds the status reply.
        if (!faults_.refuseFlashMode) {
            mode_ = MODE_FLASH_ARMED;
        }
        return channel == SIM_CHANNEL_LOCAL ? currentStatus() : std::vector<uint8_t>{};
    case SIM_COMMAND_FLASH_CONFIRM:
        if (mode_ != MODE_FLASH_ARMED) {
            return textBytes(FLASH_REFUSED_REPLY);
        }
        mode_ = MODE_IMAGE;
        image_.clear();
        return textBytes(std::string(FLASH_READY_MARKER));
    default:
        return {};
    }
}

void SimulatedPrinter::addReply(SimChannel channel, SimCommand command, std::vector<uint8_t> reply,
                                SimOutcome* outcome) {
    if (reply.empty() || faults_.silentOn[command]) {
        return;
    }
    if (faults_.replyLimit != 0 && reply.size() > faults_.replyLimit) {
        reply.resize(faults_.replyLimit);
    }
    record({SIM_EVENT_REPLY, channel, simCommandName(command), reply, reply.size(), {}});
    outcome->replies.push_back(std::move(reply));
}

// The split-reply fault: "FLASH READY" goes out as two replies, "FLASH " and "READY", with a
// gap between them on TCP. False when the fault does not apply to this reply.
bool SimulatedPrinter::splitFlashReady(SimChannel channel, SimCommand command,
                                       const std::vector<uint8_t>& reply, SimOutcome* outcome) {
    if (!faults_.splitFlashReply || reply != textBytes(std::string(FLASH_READY_MARKER))) {
        return false;
    }
    const auto head = static_cast<std::ptrdiff_t>(FLASH_READY_MARKER.find(' ') + 1);
    addReply(channel, command, std::vector<uint8_t>(reply.begin(), reply.begin() + head), outcome);
    addReply(channel, command, std::vector<uint8_t>(reply.begin() + head, reply.end()), outcome);
    outcome->replyGapMilliseconds = SIM_SPLIT_REPLY_GAP_MS;
    return true;
}

// Records the command and answers it; false when the printer closes the channel instead.
bool SimulatedPrinter::handleCommand(SimChannel channel, SimCommand command, SimOutcome* outcome) {
    record({SIM_EVENT_COMMAND, channel, simCommandName(command), {}, 0, {}});
    if (faults_.closeOn[command]) {
        outcome->close = true;
        return false;
    }
    std::vector<uint8_t> reply = replyTo(channel, command);
    if (!splitFlashReady(channel, command, reply, outcome)) {
        addReply(channel, command, std::move(reply), outcome);
    }
    return true;
}

// Takes command bytes off the front of pending_: whole commands are answered, a byte that starts
// no command is dropped, and a command's beginning waits for the rest.
void SimulatedPrinter::parseCommands(SimChannel channel, SimOutcome* outcome) {
    size_t at = 0;
    while (at < pending_.size() && mode_ != MODE_IMAGE && !outcome->close) {
        bool waiting = false;
        bool matched = false;
        for (const CommandToken& token : commandTokens) {
            size_t available = std::min(token.bytes.size(), pending_.size() - at);
            if (token.channel != channel ||
                memcmp(token.bytes.data(), pending_.data() + at, available) != 0) {
                continue;
            }
            if (available < token.bytes.size()) {
                waiting = true;
                continue;
            }
            at += token.bytes.size();
            matched = true;
            handleCommand(channel, token.command, outcome);
            break;
        }
        if (!matched && waiting) {
            break;
        }
        if (!matched) {
            record({SIM_EVENT_UNKNOWN, channel, {}, {pending_[at]}, 1, {}});
            ++at;
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(at));
}

// The image bytes still to be taken before a fault's count (of image bytes) is reached; more
// than size when the fault is off or far.
static uint64_t roomBefore(int64_t limit, size_t taken, size_t size) {
    if (limit < 0) {
        return static_cast<uint64_t>(size) + 1;
    }
    return static_cast<uint64_t>(limit) - std::min<uint64_t>(taken, static_cast<uint64_t>(limit));
}

// Takes image bytes; the close-mid-image faults close the channel after their count (a power
// cut only once), the stall fault stops taking any.
size_t SimulatedPrinter::takeImageBytes(const uint8_t* bytes, size_t size, SimOutcome* outcome) {
    size_t count = size;
    for (int64_t limit : {faults_.closeAfterImageBytes, faults_.claimVersionAfterImageBytes}) {
        uint64_t room = roomBefore(limit, image_.size(), size);
        if (room <= count) {
            count = static_cast<size_t>(room);
            outcome->close = true;
        }
    }
    uint64_t cut = roomBefore(faults_.powerCutAfterImageBytes, image_.size(), size);
    if (cut <= count) {
        count = static_cast<size_t>(cut);
        outcome->close = true;
        faults_.powerCutAfterImageBytes = -1;
    }
    uint64_t room = roomBefore(faults_.stallAfterImageBytes, image_.size(), size);
    if (room <= count && !outcome->close) {
        count = static_cast<size_t>(room);
        stalled_ = true;
    }
    image_.insert(image_.end(), bytes, bytes + count);
    return count;
}

SimOutcome SimulatedPrinter::receive(SimChannel channel, const uint8_t* bytes, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimOutcome outcome;
    if (closed_) {
        outcome.close = true;
        return outcome;
    }
    if (stalled_) {
        outcome.stalled = true;
        return outcome;
    }
    if (faults_.writeLimit != 0 && channel == SIM_CHANNEL_LOCAL) {
        size = std::min<size_t>(size, faults_.writeLimit);
    }
    outcome.accepted = static_cast<uint32_t>(size);
    record({SIM_EVENT_WRITE, channel, {}, {}, size, {}});
    // A parallel port writes one zero byte after the entry; it is not part of the image.
    if (mode_ == MODE_IMAGE && image_.empty() && size == 1 && bytes[0] == 0 &&
        channel == SIM_CHANNEL_LOCAL) {
        return outcome;
    }
    size_t at = 0;
    while (at < size && !outcome.close && !stalled_) {
        if (mode_ == MODE_IMAGE) {
            at += takeImageBytes(bytes + at, size - at, &outcome);
            continue;
        }
        pending_.insert(pending_.end(), bytes + at, bytes + size);
        at = size;
        parseCommands(channel, &outcome);
        if (mode_ == MODE_IMAGE && !pending_.empty()) {
            // Bytes that followed the confirming command in the same piece are image bytes.
            std::vector<uint8_t> rest;
            rest.swap(pending_);
            takeImageBytes(rest.data(), rest.size(), &outcome);
        }
    }
    closed_ = outcome.close;
    outcome.stalled = stalled_;
    if (stalled_ && channel == SIM_CHANNEL_LOCAL) {
        // A local write that stops half-way took only what came before the stall.
        outcome.accepted = static_cast<uint32_t>(at);
    }
    if (channel == SIM_CHANNEL_LOCAL) {
        // The local channel answers nothing to a write: the replies wait for the next reads.
        heldReplies_.insert(heldReplies_.end(), outcome.replies.begin(), outcome.replies.end());
        outcome.replies.clear();
    }
    return outcome;
}

bool SimulatedPrinter::readLocal(std::vector<uint8_t>* reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    reply->clear();
    if (closed_) {
        return false;
    }
    if (!heldReplies_.empty()) {
        *reply = heldReplies_.front();
        heldReplies_.erase(heldReplies_.begin());
        return true;
    }
    SimOutcome outcome;
    handleCommand(SIM_CHANNEL_LOCAL, SIM_COMMAND_STATUS, &outcome);
    if (outcome.close) {
        closed_ = true;
        return false;
    }
    if (!outcome.replies.empty()) {
        *reply = outcome.replies.front();
    }
    return true;
}

bool SimulatedPrinter::requestDeviceIdLocal(std::vector<uint8_t>* reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    reply->clear();
    SimOutcome outcome;
    if (closed_ || !handleCommand(SIM_CHANNEL_LOCAL, SIM_COMMAND_DEVICE_ID, &outcome)) {
        closed_ = true;
        return false;
    }
    if (!outcome.replies.empty()) {
        *reply = outcome.replies.front();
    }
    return true;
}

// The slot whose first `length` bytes are the image, where length is the slot's recorded size
// or that size rounded down to even (the writer never sends the last byte of an odd image).
static int slotOfImage(const std::vector<uint8_t>& image, const char* checksum) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        uint32_t size = firmwareBuildRecords[slot].size;
        if (image.size() != size && image.size() != (size & ~1u)) {
            continue;
        }
        char expected[SHA256_HEX_SIZE];
        sha256Hex(FirmwareCatalogue[slot].bytes, image.size(), expected);
        if (strcmp(expected, checksum) == 0) {
            return slot;
        }
    }
    return -1;
}

// Puts the version into the device id's "FWV:" field, or adds the field.
static std::string withVersion(const std::string& deviceId, const std::string& version) {
    size_t start = deviceId.find("FWV:");
    if (start == std::string::npos) {
        return deviceId + "FWV:" + version + ";";
    }
    start += 4;
    size_t end = deviceId.find(';', start);
    return deviceId.substr(0, start) + version +
           (end == std::string::npos ? std::string(";") : deviceId.substr(end));
}

// The slot whose image starts with these bytes, -1 for none: what a printer that lies about a
// cut-off image claims to run.
static int slotBegunBy(const std::vector<uint8_t>& image) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        if (image.size() <= firmwareBuildRecords[slot].size &&
            memcmp(FirmwareCatalogue[slot].bytes, image.data(), image.size()) == 0) {
            return slot;
        }
    }
    return -1;
}

void SimulatedPrinter::resetAfterImage(SimChannel channel) {
    char checksum[SHA256_HEX_SIZE];
    sha256Hex(image_.data(), image_.size(), checksum);
    imageChecksum_ = checksum;
    recognisedSlot_ = faults_.claimVersionAfterImageBytes >= 0 ? slotBegunBy(image_)
                                                               : slotOfImage(image_, checksum);
    corrupt_ = recognisedSlot_ < 0;
    std::string version =
        corrupt_ ? std::string(CORRUPT_VERSION) : FirmwareCatalogue[recognisedSlot_].version;
    deviceId_ = withVersion(deviceId_, version);
    record({SIM_EVENT_RESET, channel, {}, {}, image_.size(), imageChecksum_ + " " + version});
}

void SimulatedPrinter::close(SimChannel channel, bool byPrinter) {
    std::lock_guard<std::mutex> lock(mutex_);
    record({SIM_EVENT_CLOSED, channel, {}, {}, 0, byPrinter ? "printer" : "peer"});
    closed_ = true;
    // Flash mode ends with the channel; an image received makes the printer reset.
    if (mode_ == MODE_IMAGE && !image_.empty()) {
        resetAfterImage(channel);
    }
    mode_ = MODE_COMMAND;
}

std::vector<SimEvent> SimulatedPrinter::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<std::string> SimulatedPrinter::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const SimEvent& event : events_) {
        if (event.kind == SIM_EVENT_COMMAND) {
            names.push_back(event.command);
        }
    }
    return names;
}

bool SimulatedPrinter::inFlashMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_ == MODE_IMAGE;
}

uint64_t SimulatedPrinter::imageByteCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_.size();
}

std::string SimulatedPrinter::imageChecksum() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return imageChecksum_;
}

int SimulatedPrinter::recognisedSlot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recognisedSlot_;
}

bool SimulatedPrinter::firmwareCorrupt() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return corrupt_;
}
