#include "recording/session_recorder.h"

#include "identity/printer_protocol.h"
#include "identity/sha256.h"
#include "platform/local_channel.h"
#include "platform/network.h"
#include "platform/user_files.h"
#include "recording/recording_format.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

namespace {

// Enough for every channel the tool holds at once (a probe's and a writer's, on both routes).
constexpr int OPEN_CHANNEL_LIMIT = 8;
// What is kept of the bytes received since the last write, to find the marker across reads.
constexpr size_t RECENT_INPUT_SIZE = 64;

struct RecordedChannel {
    bool inUse = false;
    RecordedRoute route = RECORDED_ROUTE_TCP;
    intptr_t handle = -1;
    unsigned conn = 0;
    std::string recentInput;
    bool flashReady = false; // "FLASH READY" came in: the next writes are the image
    bool inImage = false;
    Sha256State image = {};
    uint64_t imageBytes = 0;
};

// One operation's outcome, as a line shows it.
struct Outcome {
    bool ok;
    int64_t count;
    PlatformError error;
};

std::mutex recorderMutex;
UserFileHandle recordFile = NO_USER_FILE;
// The first write that failed; nothing more is written after it, so that a full disk costs the
// printer's traffic no further time.
PlatformError writeFailure;
std::chrono::steady_clock::time_point startTime;
unsigned lastConn = 0;
RecordedChannel channels[OPEN_CHANNEL_LIMIT];

const LocalChannelService* realLocal = nullptr;
const NetworkService* realNetwork = nullptr;
LocalChannelService recordingLocal;
NetworkService recordingNetwork;

void appendHex(std::string* line, const uint8_t* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        *line += digits[bytes[i] >> 4];
        *line += digits[bytes[i] & 0x0f];
    }
}

// The fields every line starts with, up to "dir".
std::string lineStart(RecordedRoute route, unsigned conn, RecordedOp op) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    char text[160];
    snprintf(text, sizeof text,
             "{\"t\":%.6f,\"route\":\"%s\",\"conn\":%u,\"op\":\"%s\",\"dir\":\"%s\"", seconds,
             RECORDED_ROUTE_NAMES[route], conn, RECORDED_OP_NAMES[op], recordedDirection(op));
    return text;
}

void appendOutcome(std::string* line, const Outcome& outcome) {
    char text[96];
    snprintf(text, sizeof text, ",\"ok\":%s,\"count\":%" PRId64 ",\"error\":%u",
             outcome.ok ? "true" : "false", outcome.count, outcome.ok ? 0u : outcome.error.number);
    *line += text;
}

void appendSize(std::string* line, uint32_t size) {
    *line += ",\"size\":" + std::to_string(size);
}

void writeRecordLine(const std::string& line) {
    if (recordFile != NO_USER_FILE && !platformFailed(writeFailure)) {
        userFileService->write(recordFile, line.data(), static_cast<uint32_t>(line.size()),
                               &writeFailure);
    }
}

void finishLine(std::string* line) {
    *line += "}\n";
    writeRecordLine(*line);
}

RecordedChannel* findChannel(RecordedRoute route, intptr_t handle) {
    for (RecordedChannel& channel : channels) {
        if (channel.inUse && channel.route == route && channel.handle == handle) {
            return &channel;
        }
    }
    return nullptr;
}

// A new conversation; its number even when the channel failed to open, so that every attempt
// can be told apart.
unsigned beginConversation(RecordedRoute route, intptr_t handle, bool opened) {
    unsigned conn = ++lastConn;
    if (!opened) {
        return conn;
    }
    for (RecordedChannel& channel : channels) {
        if (!channel.inUse) {
            channel = RecordedChannel();
            channel.inUse = true;
            channel.route = route;
            channel.handle = handle;
            channel.conn = conn;
            break;
        }
    }
    return conn;
}

unsigned connOf(RecordedRoute route, intptr_t handle) {
    RecordedChannel* channel = findChannel(route, handle);
    return channel != nullptr ? channel->conn : 0;
}

void recordOpen(RecordedRoute route, intptr_t handle, RecordedOp op, const std::string& where,
                const Outcome& outcome) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    std::string line = lineStart(route, beginConversation(route, handle, outcome.ok), op);
    line += where;
    appendOutcome(&line, outcome);
    finishLine(&line);
}

void recordInput(RecordedRoute route, intptr_t handle, RecordedOp op, uint32_t size,
                 const uint8_t* bytes, const Outcome& outcome) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    RecordedChannel* channel = findChannel(route, handle);
    std::string line = lineStart(route, channel != nullptr ? channel->conn : 0, op);
    appendSize(&line, size);
    appendOutcome(&line, outcome);
    if (outcome.ok && outcome.count > 0) {
        line += ",\"bytes\":\"";
        appendHex(&line, bytes, static_cast<size_t>(outcome.count));
        line += '"';
        if (channel != nullptr) {
            channel->recentInput.append(reinterpret_cast<const char*>(bytes),
                                        static_cast<size_t>(outcome.count));
            if (channel->recentInput.find(FLASH_READY_MARKER) != std::string::npos) {
                channel->flashReady = true;
            }
            if (channel->recentInput.size() > RECENT_INPUT_SIZE) {
                channel->recentInput.erase(0, channel->recentInput.size() - RECENT_INPUT_SIZE);
            }
        }
    }
    finishLine(&line);
}

// A parallel port gets one zero byte after the flash reply; it is not part of the image.
bool startsImage(const RecordedChannel* channel, const uint8_t* bytes, uint32_t size) {
    return channel->flashReady && !(size == 1 && bytes[0] == 0);
}

void recordWrite(RecordedRoute route, intptr_t handle, const uint8_t* bytes, uint32_t size,
                 const Outcome& outcome) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    RecordedChannel* channel = findChannel(route, handle);
    if (channel != nullptr && !channel->inImage && startsImage(channel, bytes, size)) {
        channel->inImage = true;
        sha256Start(&channel->image);
    }
    bool image = channel != nullptr && channel->inImage;
    if (image && outcome.ok && outcome.count > 0) {
        sha256Add(&channel->image, bytes, static_cast<size_t>(outcome.count));
        channel->imageBytes += static_cast<uint64_t>(outcome.count);
    }
    if (image && outcome.ok && outcome.count == size) {
        return;
    }
    std::string line = lineStart(route, channel != nullptr ? channel->conn : 0, RECORDED_OP_WRITE);
    appendSize(&line, size);
    appendOutcome(&line, outcome);
    if (image) {
        line += ",\"image\":true";
    } else {
        line += ",\"bytes\":\"";
        appendHex(&line, bytes, size);
        line += '"';
    }
    if (channel != nullptr) {
        channel->recentInput.clear();
    }
    finishLine(&line);
}

void recordClose(RecordedRoute route, intptr_t handle, bool ok) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    RecordedChannel* channel = findChannel(route, handle);
    unsigned conn = channel != nullptr ? channel->conn : 0;
    if (channel != nullptr && channel->inImage) {
        char checksum[SHA256_HEX_SIZE];
        sha256FinishHex(&channel->image, checksum);
        std::string line = lineStart(route, conn, RECORDED_OP_IMAGE);
        line += ",\"count\":" + std::to_string(channel->imageBytes) + ",\"sha256\":\"" + checksum +
                "\"";
        finishLine(&line);
    }
    if (channel != nullptr) {
        channel->inUse = false;
    }
    std::string line = lineStart(route, conn, RECORDED_OP_CLOSE);
    line += ok ? ",\"ok\":true" : ",\"ok\":false";
    finishLine(&line);
}

// --- the local channel ---------------------------------------------------------------------

std::string quotedPath(const char* path) {
    std::string field = ",\"path\":\"";
    for (const char* at = path; *at != '\0'; ++at) {
        unsigned char c = static_cast<unsigned char>(*at);
        if (c == '"' || c == '\\') {
            field += '\\';
        }
        if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            field += escaped;
        } else {
            field += static_cast<char>(c);
        }
    }
    return field + "\"";
}

ChannelHandle openLocal(const char* path, ChannelSharing sharing, PlatformError* error) {
    PlatformError failure;
    ChannelHandle handle = realLocal->open(path, sharing, &failure);
    reportPlatformError(error, failure);
    bool ok = handle != INVALID_CHANNEL_HANDLE;
    recordOpen(RECORDED_ROUTE_LOCAL, handle, RECORDED_OP_OPEN, quotedPath(path), {ok, 0, failure});
    return handle;
}

// A read or a device-id request: both fill the buffer with what the printer sent.
typedef bool (*LocalInput)(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                           uint32_t* received, PlatformError* error);

bool recordLocalInput(LocalInput input, RecordedOp op, ChannelHandle channel, uint8_t* buffer,
                      uint32_t size, uint32_t* received, PlatformError* error) {
    PlatformError failure;
    uint32_t count = 0;
    bool ok = input(channel, buffer, size, &count, &failure);
    *received = count;
    reportPlatformError(error, failure);
    recordInput(RECORDED_ROUTE_LOCAL, channel, op, size, buffer, {ok, count, failure});
    return ok;
}

bool readLocal(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
               PlatformError* error) {
    return recordLocalInput(realLocal->read, RECORDED_OP_READ, channel, buffer, size, received,
                            error);
}

bool writeLocal(ChannelHandle channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                PlatformError* error) {
    PlatformError failure;
    uint32_t count = 0;
    bool ok = realLocal->write(channel, bytes, size, &count, &failure);
    *written = count;
    reportPlatformError(error, failure);
    recordWrite(RECORDED_ROUTE_LOCAL, channel, bytes, size, {ok, count, failure});
    return ok;
}

bool closeLocal(ChannelHandle channel) {
    bool ok = realLocal->close(channel);
    recordClose(RECORDED_ROUTE_LOCAL, channel, ok);
    return ok;
}

bool requestDeviceIdLocal(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                          PlatformError* error) {
    return recordLocalInput(realLocal->requestDeviceId, RECORDED_OP_DEVICE_ID, channel, buffer,
                            size, received, error);
}

bool getTimeoutsLocal(ChannelHandle channel, ChannelTimeouts* timeouts, PlatformError* error) {
    return realLocal->getTimeouts(channel, timeouts, error);
}

bool setTimeoutsLocal(ChannelHandle channel, const ChannelTimeouts* timeouts,
                      PlatformError* error) {
    return realLocal->setTimeouts(channel, timeouts, error);
}

// The listing of attached printers is passed on unrecorded: it opens no conversation.
uint32_t listPrinterDevicesLocal(ListedPrinterDevice* devices, uint32_t capacity) {
    return realLocal->listPrinterDevices(devices, capacity);
}

// --- the network ---------------------------------------------------------------------------

bool startupNetwork(PlatformError* error) {
    return realNetwork->startup(error);
}

void cleanupNetwork() {
    realNetwork->cleanup();
}

SocketHandle openStreamNetwork(PlatformError* error) {
    return realNetwork->openStream(error);
}

bool connectNetwork(SocketHandle socket, const uint8_t address[4], uint16_t port,
                    uint32_t timeoutMilliseconds, PlatformError* error) {
    PlatformError failure;
    bool ok = realNetwork->connect(socket, address, port, timeoutMilliseconds, &failure);
    reportPlatformError(error, failure);
    // The address stays out of the recording: it says where the printer is, not what it said.
    recordOpen(RECORDED_ROUTE_TCP, socket, RECORDED_OP_CONNECT, ",\"port\":" + std::to_string(port),
               {ok, 0, failure});
    return ok;
}

int32_t sendNetwork(SocketHandle socket, const uint8_t* bytes, uint32_t size,
                    uint32_t timeoutMilliseconds, PlatformError* error) {
    PlatformError failure;
    int32_t sent = realNetwork->send(socket, bytes, size, timeoutMilliseconds, &failure);
    reportPlatformError(error, failure);
    recordWrite(RECORDED_ROUTE_TCP, socket, bytes, size, {sent >= 0, sent < 0 ? 0 : sent, failure});
    return sent;
}

int32_t receiveNetwork(SocketHandle socket, uint8_t* buffer, uint32_t size,
                       uint32_t timeoutMilliseconds, PlatformError* error) {
    PlatformError failure;
    int32_t received = realNetwork->receive(socket, buffer, size, timeoutMilliseconds, &failure);
    reportPlatformError(error, failure);
    recordInput(RECORDED_ROUTE_TCP, socket, RECORDED_OP_READ, size, buffer,
                {received >= 0, received < 0 ? 0 : received, failure});
    return received;
}

bool closeNetwork(SocketHandle socket) {
    bool ok = realNetwork->close(socket);
    // A socket that never connected holds no conversation.
    if (connOf(RECORDED_ROUTE_TCP, socket) != 0) {
        recordClose(RECORDED_ROUTE_TCP, socket, ok);
    }
    return ok;
}

} // namespace

bool startSessionRecording(const char* path, const char* toolVersion, PlatformError* error) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    recordFile = userFileService->create(path, error);
    if (recordFile == NO_USER_FILE) {
        return false;
    }
    writeFailure = {};
    char header[160];
    snprintf(header, sizeof header, "{\"recording\":\"%s\",\"format\":%d,\"version\":\"%s\"}\n",
             RECORDING_MARKER, RECORDING_FORMAT, toolVersion);
    writeRecordLine(header);
    startTime = std::chrono::steady_clock::now();
    lastConn = 0;
    for (RecordedChannel& channel : channels) {
        channel = RecordedChannel();
    }
    realLocal = localChannelService;
    realNetwork = networkService;
    recordingLocal = {
        .open = openLocal,
        .read = readLocal,
        .write = writeLocal,
        .close = closeLocal,
        .requestDeviceId = requestDeviceIdLocal,
        .getTimeouts = getTimeoutsLocal,
        .setTimeouts = setTimeoutsLocal,
        .listPrinterDevices = listPrinterDevicesLocal,
    };
    recordingNetwork = {
        .startup = startupNetwork,
        .cleanup = cleanupNetwork,
        .openStream = openStreamNetwork,
        .connect = connectNetwork,
        .send = sendNetwork,
        .receive = receiveNetwork,
        .close = closeNetwork,
        // A name is no printer traffic: nothing to record.
        .resolveIpv4 = realNetwork->resolveIpv4,
    };
    localChannelService = &recordingLocal;
    networkService = &recordingNetwork;
    return true;
}

void stopSessionRecording() {
    std::lock_guard<std::mutex> lock(recorderMutex);
    if (recordFile == NO_USER_FILE) {
        return;
    }
    localChannelService = realLocal;
    networkService = realNetwork;
    userFileService->close(recordFile);
    recordFile = NO_USER_FILE;
}

bool sessionRecordingFailed(PlatformError* error) {
    std::lock_guard<std::mutex> lock(recorderMutex);
    *error = writeFailure;
    return platformFailed(writeFailure);
}
