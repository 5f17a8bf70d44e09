#pragma once

// A printer that answers as a recorded one did: printer-sim --replay serves it over TCP, and
// the tests drive it in-process.
//
// The recording's TCP conversations are played in order, one per connection. Within one, each
// command the tool sent is expected again, byte for byte, and the printer's recorded replies
// follow it after the delays they came with (a reply that came in two pieces comes in two
// pieces again); a read that timed out stays unanswered, and a connection the printer closed
// is closed. After the flash reply, the image's bytes are counted and hashed and compared with
// the recording's at the close; a printer that closed mid-image closes at the same count.
//
// Where a new run departs from the recording (a command the recording never saw, one out of
// order, an image that differs, a connection too many, a conversation cut short) the printer
// records a departure event, closes the connection and answers nothing more.

#include "identity/sha256.h"
#include "recording/recording_reader.h"
#include "sim/simulated_printer.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct ReplayReply {
    uint32_t delayMilliseconds = 0; // after the command that it answered
    std::vector<uint8_t> bytes;
    bool close = false; // the printer closed the connection instead
};

struct ReplayStep {
    std::vector<uint8_t> command; // empty: the printer spoke first
    std::vector<ReplayReply> replies;
};

struct ReplayConversation {
    bool refused = false; // the connection failed: the printer closes it at once
    std::vector<ReplayStep> steps;
    bool hasImage = false;
    uint64_t imageBytes = 0;
    std::string imageSha256;
    bool imageCut = false; // the printer stopped taking the image after imageBytes
};

// The TCP conversations of a recording. False, with the reason, when it holds none.
bool buildReplayScript(const Recording& recording, std::vector<ReplayConversation>* script,
                       std::string* error);

class ReplayPrinter : public SimConversation {
  public:
    // clock: milliseconds from any fixed point; the steady clock when not given.
    explicit ReplayPrinter(std::vector<ReplayConversation> script,
                           std::function<uint64_t()> clock = {});

    void setObserver(std::function<void(const SimEvent&)> observer);

    bool open(SimChannel channel) override;
    SimOutcome receive(SimChannel channel, const uint8_t* bytes, size_t size) override;
    SimOutcome idle(SimChannel channel) override;
    void close(SimChannel channel, bool byPrinter) override;

    // Whether the run so far departed from the recording, and how; whether it played all of it.
    bool departed() const;
    std::vector<std::string> departures() const;
    bool finished() const;
    // One line on how the run compared with the recording.
    std::string verdict() const;

  private:
    struct Pending {
        uint64_t due;
        ReplayReply reply;
    };

    void record(SimEventKind kind, const std::string& command, std::vector<uint8_t> bytes,
                uint64_t size, const std::string& detail);
    void depart(const std::string& what, SimOutcome* outcome);
    void matchCommands(SimOutcome* outcome);
    void answer(const ReplayStep& step);
    void takeImage(const uint8_t* bytes, size_t size, SimOutcome* outcome);
    void checkImage();
    std::string whereIs(const std::vector<uint8_t>& input) const;
    void collectDue(SimOutcome* outcome);
    const ReplayConversation* current() const;

    mutable std::mutex mutex_;
    std::vector<ReplayConversation> script_;
    std::function<uint64_t()> clock_;
    std::function<void(const SimEvent&)> observer_;
    std::vector<std::string> departures_;

    size_t played_ = 0; // conversations opened
    bool live_ = false; // a conversation is open
    size_t step_ = 0;   // the next step of the current conversation
    size_t commandsPlayed_ = 0;
    bool closedAsRecorded_ = false; // the printer's own close, as the recording has it
    std::vector<uint8_t> input_;    // command bytes not yet matched
    std::vector<Pending> pending_;  // replies waiting for their time
    bool inImage_ = false;
    Sha256State image_ = {};
    uint64_t imageCount_ = 0;
};
