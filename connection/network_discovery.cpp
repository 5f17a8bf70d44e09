#include "connection/network_discovery.h"

#include "connection/ethernet.h"
#include "platform/kernel.h"
#include "platform/network.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// A worker's stack: one reply buffer and a log line at a time.
constexpr uint32_t SCAN_WORKER_STACK_BYTES = 64 * 1024;

struct ScanState {
    const NetworkScan* scan;
    uint64_t total;
    std::mutex mutex;
    std::condition_variable workerEnded;
    uint64_t next = 0; // the next address to try, counted over all the ranges
    uint32_t running = 0;
    ScanShortfall shortfall;
};

uint64_t rangeSize(const AddressRange& range) {
    return uint64_t{range.last} - range.first + 1;
}

// The next address to try; false when every one has been handed out.
bool takeAddress(ScanState* state, uint32_t* address) {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->next >= state->total) {
        return false;
    }
    uint64_t index = state->next++;
    for (size_t range = 0; range < state->scan->rangeCount; ++range) {
        const AddressRange& taken = state->scan->ranges[range];
        if (index < rangeSize(taken)) {
            *address = static_cast<uint32_t>(taken.first + index);
            return true;
        }
        index -= rangeSize(taken);
    }
    return false;
}

void countUntried(ScanState* state, PlatformError error) {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->shortfall.untried++ == 0) {
        state->shortfall.firstError = error;
    }
}

// One address: the connect, and on a connection the device id exchange of every probe over TCP.
void tryAddress(ScanState* state, uint32_t address, PrinterData* record, AnsweringAddress* answer) {
    PlatformError error;
    SocketHandle socket = networkService->openStream(&error);
    if (socket == INVALID_SOCKET_HANDLE) {
        countUntried(state, error);
        return;
    }
    const uint8_t octets[4] = {static_cast<uint8_t>(address >> 24),
                               static_cast<uint8_t>(address >> 16),
                               static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    const NetworkScan& scan = *state->scan;
    if (networkService->connect(socket, octets, scan.port, scan.connectMilliseconds, &error)) {
        answer->address = address;
        answer->replied = GetPrinterIDEthernet(socket, record);
        answer->deviceId[0] = '\0';
        if (answer->replied) {
            memcpy(answer->deviceId, record->deviceId, sizeof answer->deviceId);
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        scan.answered(*answer, scan.context);
    }
    networkService->close(socket);
}

void scanWorker(void* argument) {
    auto* state = static_cast<ScanState*>(argument);
    {
        // On the heap: a worker's stack is small.
        auto record = std::make_unique<PrinterData>();
        auto answer = std::make_unique<AnsweringAddress>();
        uint32_t address = 0;
        while (takeAddress(state, &address)) {
            tryAddress(state, address, record.get(), answer.get());
        }
    }
    // The last thing the worker does: its caller may end the scan as soon as the lock is free.
    std::lock_guard<std::mutex> lock(state->mutex);
    --state->running;
    state->workerEnded.notify_all();
}

} // namespace

bool scanNetwork(const NetworkScan& scan, ScanShortfall* shortfall, PlatformError* error) {
    ScanState state;
    state.scan = &scan;
    state.total = 0;
    for (size_t range = 0; range < scan.rangeCount; ++range) {
        state.total += rangeSize(scan.ranges[range]);
    }
    uint64_t workers = scan.jobs < state.total ? scan.jobs : state.total;
    std::unique_lock<std::mutex> lock(state.mutex);
    for (uint64_t started = 0; started < workers; ++started) {
        PlatformError failure;
        if (!kernelService->startThread(scanWorker, &state, SCAN_WORKER_STACK_BYTES, &failure)) {
            debugLogFailure("scanNetwork - worker start", nullptr, failure);
            reportPlatformError(error, failure);
            break;
        }
        ++state.running;
    }
    if (state.running == 0 && workers > 0) {
        return false;
    }
    state.workerEnded.wait(lock, [&state] { return state.running == 0; });
    *shortfall = state.shortfall;
    return true;
}
