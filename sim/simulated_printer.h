#pragma once

// A simulated printer: the printer's side of the whole command contract, for the TCP channel and
// the local channel (USB device path or parallel port), with a record of everything it saw and
// faults on request. Thread-safe: a server thread feeds it while a test inspects it.
//
// The printer holds one conversation at a time. It answers the device id and status requests,
// enters flash mode on ESC "*FR" followed by "<SA15>" (TCP) or ESC "IA" 0x0F (local), takes every
// later byte as the firmware image, and resets when the channel closes: from then on its device
// id reports the label of the catalogue slot whose bytes it received, or, for bytes that match no
// slot, "FWV:CORRUPT" with a status that is not ready.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum SimChannel {
    SIM_CHANNEL_TCP,
    SIM_CHANNEL_LOCAL,
};

// The requests the printer answers. On the local channel the device id is a device control
// request and the status a plain read; on TCP both are commands.
enum SimCommand {
    SIM_COMMAND_DEVICE_ID,     // "<SA08>" or the device-id request
    SIM_COMMAND_STATUS,        // "<SS>" or a read
    SIM_COMMAND_FLASH_MODE,    // ESC "*FR"
    SIM_COMMAND_FLASH_CONFIRM, // "<SA15>" or ESC "IA" 0x0F
    SIM_COMMAND_COUNT,
};

// The text a command is recorded and named by: "device-id", "status", "flash-mode",
// "flash-confirm". Also what printer-sim's options take.
const char* simCommandName(SimCommand command);
bool simCommandFromName(const std::string& name, SimCommand* command);

// Faults the printer injects. The default is a well-behaved printer.
struct SimFaults {
    bool silentOn[SIM_COMMAND_COUNT] = {}; // no answer to the command
    bool closeOn[SIM_COMMAND_COUNT] = {};  // the channel closes when the command arrives
    bool closeOnConnect = false;           // the channel closes as soon as it opens
    int64_t closeAfterImageBytes = -1;     // the channel closes mid-image after N bytes
    uint32_t replyLimit = 0;               // every reply cut to at most N bytes (0: whole)
    uint32_t writeLimit = 0;               // local writes accept at most N bytes (0: all)
    bool refuseFlashMode = false;          // the confirming command answers without "FLASH READY"
    bool notReady = false;                 // the status reply says not ready (byte 3 = 1)
    bool splitFlashReply = false;          // "FLASH READY" comes as "FLASH " and "READY", apart
    int64_t stallAfterImageBytes = -1;     // the printer stops reading after N image bytes
    int64_t claimVersionAfterImageBytes = -1; // takes N image bytes, closes, and still reports
                                              // the version of the image they began
    int64_t powerCutAfterImageBytes = -1;     // the power fails once after N image bytes: the
                                              // printer comes back half-written and takes the next
                                              // image whole
};

// How long the TCP channel waits between the two pieces of a split reply: longer than the
// pause the flash-mode entry makes before its receive, so that the receive gets one piece.
constexpr uint32_t SIM_SPLIT_REPLY_GAP_MS = 1000;

enum SimEventKind {
    SIM_EVENT_OPENED,    // a conversation started
    SIM_EVENT_COMMAND,   // a request arrived: command
    SIM_EVENT_REPLY,     // bytes sent back: command, bytes
    SIM_EVENT_WRITE,     // bytes arrived (local: one write; TCP: one receive): size
    SIM_EVENT_UNKNOWN,   // a byte that starts no command was dropped: bytes
    SIM_EVENT_CLOSED,    // the conversation ended: detail says who closed
    SIM_EVENT_RESET,     // the printer reset after an image: size, detail (checksum, label)
    SIM_EVENT_DEPARTURE, // a replayed run left its recording: detail says where and how
};

struct SimEvent {
    SimEventKind kind;
    SimChannel channel;
    std::string command;        // the command's name, for command and reply events
    std::vector<uint8_t> bytes; // reply and unknown events
    uint64_t size = 0;          // write: bytes accepted; reset: image bytes received
    std::string detail;         // closed: "peer" or "printer"; reset: "<checksum> <label>"
};

const char* simEventKindName(SimEventKind kind);

// What the channel does with what the printer answered to one piece of input.
struct SimOutcome {
    std::vector<std::vector<uint8_t>> replies;
    bool close = false;    // the printer closes the channel after the replies
    uint32_t accepted = 0; // bytes of the input taken (a local write may take fewer)
    bool stalled = false;  // the printer reads no more input: the channel stops taking any
    uint32_t replyGapMilliseconds = 0; // TCP: the pause between two replies
};

// The printer's side of a conversation, as a server feeds it: what SimTcpServer serves.
class SimConversation {
  public:
    virtual ~SimConversation() = default;
    // A conversation starts; false when the printer closes it at once.
    virtual bool open(SimChannel channel) = 0;
    virtual SimOutcome receive(SimChannel channel, const uint8_t* bytes, size_t size) = 0;
    // Called while no input arrives: what the printer sends unasked, or closes, by now.
    virtual SimOutcome idle(SimChannel) { return {}; }
    // The channel closed; byPrinter says whether the printer's side closed it.
    virtual void close(SimChannel channel, bool byPrinter) = 0;
};

class SimulatedPrinter : public SimConversation {
  public:
    static constexpr const char* DEFAULT_DEVICE_ID =
        "MFG:SIM;CMD:G;MDL:VRE G SIM;CLS:PRINTER;FWV:V1.00;";
    static constexpr const char* FLASH_REFUSED_REPLY = "FLASH REFUSED";
    static constexpr const char* CORRUPT_VERSION = "CORRUPT";

    SimulatedPrinter();

    // Settings. The device id may hold any bytes, zero bytes included.
    void setDeviceId(const std::string& deviceId);
    void setStatus(const std::vector<uint8_t>& status);
    void setFaults(const SimFaults& faults);
    std::string deviceId() const;
    std::vector<uint8_t> statusReply() const;
    SimFaults faults() const;

    // Called for every event as it is recorded (on the thread that caused it).
    void setObserver(std::function<void(const SimEvent&)> observer);

    // The channel side. open() starts a conversation; false when the printer closes it at once.
    bool open(SimChannel channel) override;
    SimOutcome receive(SimChannel channel, const uint8_t* bytes, size_t size) override;
    // Local channel: a read returns a reply the printer holds back, else the status reply.
    // False when the printer has closed the channel.
    bool readLocal(std::vector<uint8_t>* reply);
    bool requestDeviceIdLocal(std::vector<uint8_t>* reply);
    // The channel closed; byPrinter says whether the printer's fault closed it.
    void close(SimChannel channel, bool byPrinter) override;

    // The record.
    std::vector<SimEvent> events() const;
    std::vector<std::string> commands() const;
    bool inFlashMode() const;
    uint64_t imageByteCount() const;   // bytes of the last image received
    std::string imageChecksum() const; // its SHA-256, once the printer has reset
    int recognisedSlot() const;        // its catalogue slot, -1 for none
    bool firmwareCorrupt() const;

  private:
    enum Mode { MODE_COMMAND, MODE_FLASH_ARMED, MODE_IMAGE };

    void record(SimEvent event);
    bool handleCommand(SimChannel channel, SimCommand command, SimOutcome* outcome);
    std::vector<uint8_t> replyTo(SimChannel channel, SimCommand command);
    void addReply(SimChannel channel, SimCommand command, std::vector<uint8_t> reply,
                  SimOutcome* outcome);
    size_t takeImageBytes(const uint8_t* bytes, size_t size, SimOutcome* outcome);
    bool splitFlashReady(SimChannel channel, SimCommand command, const std::vector<uint8_t>& reply,
                         SimOutcome* outcome);
    void parseCommands(SimChannel channel, SimOutcome* outcome);
    void resetAfterImage(SimChannel channel);
    std::vector<uint8_t> currentStatus() const;

    mutable std::mutex mutex_;
    std::string deviceId_;
    std::vector<uint8_t> status_;
    SimFaults faults_;
    std::function<void(const SimEvent&)> observer_;
    std::vector<SimEvent> events_;

    Mode mode_ = MODE_COMMAND;
    bool closed_ = false;
    bool stalled_ = false;
    std::vector<uint8_t> pending_;                  // command bytes not yet parsed
    std::vector<std::vector<uint8_t>> heldReplies_; // local: replies waiting for a read
    std::vector<uint8_t> image_;
    std::string imageChecksum_;
    int recognisedSlot_ = -1;
    bool corrupt_ = false;
};
