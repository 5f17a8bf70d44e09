#include "tests/fuzz/fuzz_support.h"

#include "platform/kernel.h"
#include "platform/local_channel.h"
#include "platform/network.h"
#include "platform/state_files.h"
#include "platform/user_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void sleepNever(uint32_t) {}
void logNothing(const char*) {}
bool logWantedNever() {
    return false;
}
bool startNothing(ThreadBody, void*, uint32_t, PlatformError*) {
    return true;
}
MessageBoxAnswer answerSilently(const char*, const char*, MessageBoxButtons) {
    return MESSAGE_BOX_ANSWER_OK;
}
void showNothing(ControlHandle, const char*) {}

std::vector<std::vector<uint8_t>> script;
size_t nextPiece = 0;
std::vector<uint8_t> delivered;

// The next piece into buffer, cut to size; false when none is left.
bool deliver(uint8_t* buffer, uint32_t size, uint32_t* count) {
    *count = 0;
    if (nextPiece == script.size()) {
        return false;
    }
    const std::vector<uint8_t>& piece = script[nextPiece++];
    *count = static_cast<uint32_t>(std::min<size_t>(piece.size(), size));
    memcpy(buffer, piece.data(), *count);
    delivered.insert(delivered.end(), piece.begin(), piece.begin() + *count);
    return true;
}

ChannelHandle openAny(const char*, ChannelSharing, PlatformError*) {
    return 1;
}
bool readPiece(ChannelHandle, uint8_t* buffer, uint32_t size, uint32_t* received, PlatformError*) {
    deliver(buffer, size, received);
    return true;
}
bool writeAll(ChannelHandle, const uint8_t*, uint32_t size, uint32_t* written, PlatformError*) {
    *written = size;
    return true;
}
bool closeAny(ChannelHandle) {
    return true;
}
bool deviceIdPiece(ChannelHandle, uint8_t* buffer, uint32_t size, uint32_t* received,
                   PlatformError*) {
    return deliver(buffer, size, received);
}
bool getNoTimeouts(ChannelHandle, ChannelTimeouts* timeouts, PlatformError*) {
    *timeouts = {};
    return true;
}
bool setAnyTimeouts(ChannelHandle, const ChannelTimeouts*, PlatformError*) {
    return true;
}

uint32_t listNone(ListedPrinterDevice*, uint32_t) {
    return 0;
}

bool startupAlways(PlatformError*) {
    return true;
}
void cleanupNothing() {}
SocketHandle openStreamAny(PlatformError*) {
    return 1;
}
bool connectAlways(SocketHandle, const uint8_t[4], uint16_t, uint32_t, PlatformError*) {
    return true;
}
int32_t sendAll(SocketHandle, const uint8_t*, uint32_t size, uint32_t, PlatformError*) {
    return static_cast<int32_t>(size);
}
int32_t receivePiece(SocketHandle, uint8_t* buffer, uint32_t size, uint32_t, PlatformError*) {
    uint32_t count = 0;
    return deliver(buffer, size, &count) && count > 0 ? static_cast<int32_t>(count) : -1;
}

const LocalChannelService scriptedLocal = {
    .open = openAny,
    .read = readPiece,
    .write = writeAll,
    .close = closeAny,
    .requestDeviceId = deviceIdPiece,
    .getTimeouts = getNoTimeouts,
    .setTimeouts = setAnyTimeouts,
    .listPrinterDevices = listNone,
};
const NetworkService scriptedNetwork = {
    .startup = startupAlways,
    .cleanup = cleanupNothing,
    .openStream = openStreamAny,
    .connect = connectAlways,
    .send = sendAll,
    .receive = receivePiece,
    .close = closeAny,
};

// The state files (the history of upgrades, the spooler journal) are kept nowhere: a target
// must neither write the machine's history nor wait for its disk at every input.
bool readAbsent(const char*, char*, uint32_t, uint32_t* length, bool* present, PlatformError*) {
    *length = 0;
    *present = false;
    return true;
}
bool replaceNowhere(const char*, const char*, uint32_t, PlatformError*) {
    return true;
}
bool renameNowhere(const char*, const char*, PlatformError*) {
    return true;
}
bool removeNowhere(const char*, PlatformError*) {
    return true;
}
void pathOfName(const char* name, char* path, uint32_t size) {
    snprintf(path, size, "%s", name);
}

const StateFileService noStateFiles = {
    .read = readAbsent,
    .replace = replaceNowhere,
    .append = replaceNowhere,
    .rename = renameNowhere,
    .remove = removeNowhere,
    .path = pathOfName,
};

} // namespace

void installQuietServices() {
    static KernelService quietKernel = *kernelService;
    static UserInterfaceService silentUserInterface = *userInterfaceService;
    quietKernel.sleep = sleepNever;
    quietKernel.debugLog = logNothing;
    quietKernel.debugLogWanted = logWantedNever;
    quietKernel.startThread = startNothing;
    silentUserInterface.messageBox = answerSilently;
    silentUserInterface.setText = showNothing;
    kernelService = &quietKernel;
    userInterfaceService = &silentUserInterface;
    stateFileService = &noStateFiles;
}

bool splitRouteAndReply(const uint8_t* data, size_t size, uint8_t* route,
                        std::vector<uint8_t>* reply) {
    static const bool installed = (installQuietServices(), true);
    (void)installed;
    if (size == 0) {
        return false;
    }
    *route = data[0];
    reply->assign(data + 1, data + size);
    return true;
}

void installScriptedPrinter(const std::vector<std::vector<uint8_t>>& pieces) {
    script = pieces;
    nextPiece = 0;
    delivered.clear();
    localChannelService = &scriptedLocal;
    networkService = &scriptedNetwork;
}

const std::vector<uint8_t>& deliveredBytes() {
    return delivered;
}
