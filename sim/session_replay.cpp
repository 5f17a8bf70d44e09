#include "sim/session_replay.h"

#include "identity/sha256.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

namespace {

// A reply recorded later than this after its command is replayed at this delay.
constexpr double LONGEST_DELAY_SECONDS = 60;
// How much of a departing input a message shows.
constexpr size_t SHOWN_BYTES = 24;

uint64_t steadyMilliseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint32_t delayBetween(double command, double reply) {
    double seconds = std::clamp(reply - command, 0.0, LONGEST_DELAY_SECONDS);
    return static_cast<uint32_t>(seconds * 1000);
}

// Bytes as a reader sees them: printable ASCII as it is, anything else as \xHH.
std::string readable(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < SHOWN_BYTES; ++i) {
        char escaped[8];
        bool plain = bytes[i] >= 0x20 && bytes[i] < 0x7f && bytes[i] != '"' && bytes[i] != '\\';
        snprintf(escaped, sizeof escaped, plain ? "%c" : "\\x%02x", bytes[i]);
        text += escaped;
    }
    return text + (bytes.size() > SHOWN_BYTES ? "..." : "");
}

std::string shown(const std::vector<uint8_t>& bytes) {
    std::string text = "\"";
    text.append(readable(bytes)).append("\"");
    return text;
}

std::string counted(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

bool startsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& prefix) {
    return !prefix.empty() && bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

ReplayStep& lastStep(ReplayConversation* conversation) {
    if (conversation->steps.empty()) {
        conversation->steps.emplace_back();
    }
    return conversation->steps.back();
}

// Adds one recorded operation of a conversation to its script; *commandAt is the time of the
// command the next replies answer.
void addToScript(const RecordedEvent& event, ReplayConversation* conversation, double* commandAt) {
    ReplayReply reply;
    reply.delayMilliseconds = delayBetween(*commandAt, event.seconds);
    switch (event.op) {
    case RECORDED_OP_WRITE:
        if (event.image) {
            conversation->imageCut = conversation->imageCut || !event.ok;
        } else if (!event.ok) {
            // The printer had gone: the write found the connection closed.
            reply.close = true;
            lastStep(conversation).replies.push_back(reply);
        } else {
            // Only what the printer took; the tool sends the rest again.
            ReplayStep step;
            step.command.assign(event.bytes.data(),
                                event.bytes.data() +
                                    std::min<size_t>(event.count, event.bytes.size()));
            conversation->steps.push_back(step);
            *commandAt = event.seconds;
        }
        break;
    case RECORDED_OP_READ:
        // A read that timed out or failed had nothing to receive: the printer stays silent.
        if (event.ok) {
            reply.bytes = event.bytes;
            reply.close = event.count == 0;
            lastStep(conversation).replies.push_back(reply);
        }
        break;
    case RECORDED_OP_IMAGE:
        conversation->hasImage = true;
        conversation->imageBytes = event.count;
        conversation->imageSha256 = event.sha256;
        break;
    default:
        break;
    }
}

} // namespace

bool buildReplayScript(const Recording& recording, std::vector<ReplayConversation>* script,
                       std::string* error) {
    script->clear();
    std::map<uint32_t, size_t> positions;
    std::map<uint32_t, double> commandTimes;
    for (const RecordedEvent& event : recording.events) {
        if (event.route != RECORDED_ROUTE_TCP) {
            continue;
        }
        if (event.op == RECORDED_OP_CONNECT) {
            ReplayConversation conversation;
            conversation.refused = !event.ok;
            positions[event.conn] = script->size();
            commandTimes[event.conn] = event.seconds;
            script->push_back(conversation);
            continue;
        }
        auto position = positions.find(event.conn);
        if (position != positions.end()) {
            addToScript(event, &(*script)[position->second], &commandTimes[event.conn]);
        }
    }
    if (script->empty()) {
        *error = "the recording holds no TCP conversation (printer-sim replays the TCP route)";
        return false;
    }
    return true;
}

ReplayPrinter::ReplayPrinter(std::vector<ReplayConversation> script,
                             std::function<uint64_t()> clock)
    : script_(std::move(script)), clock_(clock ? std::move(clock) : steadyMilliseconds) {}

void ReplayPrinter::setObserver(std::function<void(const SimEvent&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void ReplayPrinter::record(SimEventKind kind, const std::string& command,
                           std::vector<uint8_t> bytes, uint64_t size, const std::string& detail) {
    if (observer_) {
        observer_({kind, SIM_CHANNEL_TCP, command, std::move(bytes), size, detail});
    }
}

const ReplayConversation* ReplayPrinter::current() const {
    return played_ == 0 ? nullptr : &script_[played_ - 1];
}

void ReplayPrinter::depart(const std::string& what, SimOutcome* outcome) {
    std::string where = "conversation " + std::to_string(played_) + ": " + what;
    departures_.push_back(where);
    record(SIM_EVENT_DEPARTURE, {}, {}, 0, where);
    pending_.clear();
    if (outcome != nullptr) {
        outcome->close = true;
    }
}

bool ReplayPrinter::open(SimChannel) {
    std::lock_guard<std::mutex> lock(mutex_);
    record(SIM_EVENT_OPENED, {}, {}, 0, {});
    if (!departures_.empty()) {
        return false;
    }
    if (played_ == script_.size()) {
        ++played_;
        depart("a connection the recording never saw (it holds " + std::to_string(script_.size()) +
                   ")",
               nullptr);
        return false;
    }
    ++played_;
    live_ = true;
    step_ = 0;
    input_.clear();
    pending_.clear();
    inImage_ = false;
    imageCount_ = 0;
    closedAsRecorded_ = current()->refused;
    sha256Start(&image_);
    const std::vector<ReplayStep>& steps = current()->steps;
    if (!steps.empty() && steps[0].command.empty()) {
        answer(steps[0]);
        step_ = 1;
    }
    return !current()->refused;
}

void ReplayPrinter::answer(const ReplayStep& step) {
    uint64_t now = clock_();
    for (const ReplayReply& reply : step.replies) {
        pending_.push_back({now + reply.delayMilliseconds, reply});
    }
}

void ReplayPrinter::collectDue(SimOutcome* outcome) {
    uint64_t now = clock_();
    size_t taken = 0;
    for (; taken < pending_.size() && pending_[taken].due <= now && !outcome->close; ++taken) {
        const ReplayReply& reply = pending_[taken].reply;
        if (reply.close) {
            closedAsRecorded_ = true;
            outcome->close = true;
        } else {
            record(SIM_EVENT_REPLY, {}, reply.bytes, reply.bytes.size(), {});
            outcome->replies.push_back(reply.bytes);
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(taken));
}

// Where the recording has the command that input starts with, for the departure's message.
std::string ReplayPrinter::whereIs(const std::vector<uint8_t>& input) const {
    for (size_t c = 0; c < script_.size(); ++c) {
        for (size_t s = 0; s < script_[c].steps.size(); ++s) {
            const std::vector<uint8_t>& command = script_[c].steps[s].command;
            if (startsWith(input, command) || startsWith(command, input)) {
                return " (out of order: the recording has it in conversation " +
                       std::to_string(c + 1) + " as command " + std::to_string(s + 1) + ")";
            }
        }
    }
    return " (a command the recording never saw)";
}

void ReplayPrinter::matchCommands(SimOutcome* outcome) {
    const std::vector<ReplayStep>& steps = current()->steps;
    while (!input_.empty() && !inImage_ && !outcome->close) {
        if (step_ == steps.size()) {
            depart("received " + shown(input_) + " after the last command recorded" +
                       whereIs(input_),
                   outcome);
            return;
        }
        const std::vector<uint8_t>& expected = steps[step_].command;
        size_t compared = std::min(expected.size(), input_.size());
        if (!std::equal(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(compared),
                        expected.begin())) {
            depart("command " + std::to_string(step_ + 1) + ": received " + shown(input_) +
                       " where the recording has " + shown(expected) + whereIs(input_),
                   outcome);
            return;
        }
        if (compared < expected.size()) {
            return; // the rest of the command is still on its way
        }
        record(SIM_EVENT_COMMAND, readable(expected), {}, 0, {});
        input_.erase(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(expected.size()));
        answer(steps[step_]);
        ++step_;
        ++commandsPlayed_;
        if (step_ == steps.size() && current()->hasImage) {
            inImage_ = true;
            std::vector<uint8_t> rest;
            rest.swap(input_);
            takeImage(rest.data(), rest.size(), outcome);
        }
    }
}

// Counts and hashes image bytes; a printer that stopped taking the image closes at its count.
void ReplayPrinter::takeImage(const uint8_t* bytes, size_t size, SimOutcome* outcome) {
    const ReplayConversation* conversation = current();
    size_t taken = size;
    if (conversation->imageCut) {
        uint64_t room = conversation->imageBytes - std::min(imageCount_, conversation->imageBytes);
        if (room <= taken) {
            taken = static_cast<size_t>(room);
            closedAsRecorded_ = true;
            outcome->close = true;
        }
    }
    sha256Add(&image_, bytes, taken);
    imageCount_ += taken;
}

SimOutcome ReplayPrinter::receive(SimChannel, const uint8_t* bytes, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimOutcome outcome;
    outcome.accepted = static_cast<uint32_t>(size);
    if (!live_ || !departures_.empty()) {
        outcome.close = true;
        return outcome;
    }
    record(SIM_EVENT_WRITE, {}, {}, size, {});
    if (inImage_) {
        takeImage(bytes, size, &outcome);
    } else {
        input_.insert(input_.end(), bytes, bytes + size);
        matchCommands(&outcome);
    }
    collectDue(&outcome);
    return outcome;
}

SimOutcome ReplayPrinter::idle(SimChannel) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimOutcome outcome;
    if (live_) {
        collectDue(&outcome);
    }
    return outcome;
}

void ReplayPrinter::checkImage() {
    const ReplayConversation* conversation = current();
    char checksum[SHA256_HEX_SIZE];
    sha256FinishHex(&image_, checksum);
    if (imageCount_ != conversation->imageBytes || conversation->imageSha256 != checksum) {
        depart("an image of " + std::to_string(imageCount_) + " bytes (SHA-256 " + checksum +
                   ") where the recording has " + std::to_string(conversation->imageBytes) +
                   " bytes (SHA-256 " + conversation->imageSha256 + ")",
               nullptr);
    }
}

void ReplayPrinter::close(SimChannel, bool byPrinter) {
    std::lock_guard<std::mutex> lock(mutex_);
    record(SIM_EVENT_CLOSED, {}, {}, 0, byPrinter ? "printer" : "peer");
    if (!live_) {
        return;
    }
    live_ = false;
    if (!departures_.empty()) {
        return;
    }
    const ReplayConversation* conversation = current();
    if (inImage_) {
        checkImage();
    } else if (!closedAsRecorded_ &&
               (step_ < conversation->steps.size() || conversation->hasImage)) {
        depart("the connection closed after command " + std::to_string(step_) + " of " +
                   std::to_string(conversation->steps.size()) +
                   (conversation->hasImage ? " and before the image" : ""),
               nullptr);
    }
}

bool ReplayPrinter::departed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !departures_.empty();
}

std::vector<std::string> ReplayPrinter::departures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return departures_;
}

bool ReplayPrinter::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return departures_.empty() && played_ == script_.size() && !live_;
}

std::string ReplayPrinter::verdict() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!departures_.empty()) {
        return "replay: the run departed from the recording at " + departures_.front();
    }
    if (played_ < script_.size() || live_) {
        return "replay: the run stopped in conversation " + std::to_string(played_) + " of " +
               std::to_string(script_.size()) + " of the recording";
    }
    return "replay: the run followed the recording: " + counted(script_.size(), "conversation") +
           ", " + counted(commandsPlayed_, "command");
}
