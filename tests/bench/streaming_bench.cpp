// How much the flash writer adds to the bare cost of sending an image: its streaming phase (from
// the first block to "End Of File", with the text update before each block included) against a
// plain loop that sends the same bytes in the same 512-byte writes to the same simulated printer
// over loopback, alternating, several times. With --real-time it also runs one whole upgrade on the
// real clock and compares it with the sum of the waits the program asked for.
//
//   streaming_bench [repetitions] [--real-time]

#include "app/probe.h"
#include "connection/ethernet.h"
#include "dialog/dialog_controls.h"
#include "dialog/dialog_model.h"
#include "flash/firmware_pick.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "identity/firmware_catalogue.h"
#include "identity/firmware_selection.h"
#include "platform/kernel.h"
#include "platform/network.h"
#include "resources/resource.h"
#include "sim/sim_tcp_server.h"
#include "sim/simulated_printer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

static const int SLOT = 0;

// The kernel the program runs on, with its waits either skipped or spent and summed.
static const KernelService* realKernel = nullptr;
static KernelService benchKernel;
static std::atomic<bool> spendWaits{false};
static std::atomic<uint64_t> waitedMilliseconds{0};

static std::atomic<int> writersStarted{0};

static bool benchStartThread(ThreadBody body, void* argument, uint32_t stackBytes,
                             PlatformError* error) {
    ++writersStarted;
    return realKernel->startThread(body, argument, stackBytes, error);
}

static void benchSleep(uint32_t milliseconds) {
    waitedMilliseconds += milliseconds;
    if (spendWaits) {
        realKernel->sleep(milliseconds);
    }
}

// When the writer showed its "Programming" text, just before its first block, and "Waiting for
// reset", which follows "End Of File" at once when waits are skipped. Only the status text is
// read back, so the per-block state texts cost the observer nothing.
static Clock::time_point streamStart;
static Clock::time_point streamEnd;

static void watchProgress(const DialogChange& change) {
    if (change.kind != DIALOG_CHANGE_TEXT || change.controlId != IDC_PROGRAM_STATUS_TEXT) {
        return;
    }
    Clock::time_point now = Clock::now();
    DialogItemState state;
    dialogModelControlState(change.controlId, &state);
    if (state.text.rfind("Programming ", 0) == 0) {
        streamStart = now;
    } else if (state.text == "Waiting for reset") {
        streamEnd = now;
    }
}

static void setUpProgram(uint16_t port) {
    realKernel = kernelService;
    benchKernel = *realKernel;
    benchKernel.sleep = benchSleep;
    benchKernel.startThread = benchStartThread;
    kernelService = &benchKernel;
    dialogModelSetObserver(watchProgress);
    dialogModelSetMessageBoxResponder(
        [](const char*, const char*, MessageBoxButtons) { return MESSAGE_BOX_ANSWER_OK; });
    connectWriterClosingProbes();
    bindDialogControls(dialogModelWindow());
    snprintf(ethernetSettings.ipOctet1, ETHERNET_FIELD_SIZE, "127");
    snprintf(ethernetSettings.ipOctet2, ETHERNET_FIELD_SIZE, "0");
    snprintf(ethernetSettings.ipOctet3, ETHERNET_FIELD_SIZE, "0");
    snprintf(ethernetSettings.ipOctet4, ETHERNET_FIELD_SIZE, "1");
    snprintf(ethernetSettings.tcpPort, ETHERNET_FIELD_SIZE, "%u", port);
}

// The record a probe leaves for the simulator's default printer, which identified itself.
static void describePrinter() {
    snprintf(printerData.deviceId, sizeof printerData.deviceId, "MFG:SIM;MDL:VRE G SIM;");
    printerIdentified = true;
    snprintf(printerData.modelName, PRINTER_TEXT_SIZE, "VRE G SIM");
    snprintf(printerData.firmwareVersion, PRINTER_TEXT_SIZE, "V1.00");
    printerData.boardType = BOARD_LOGIC_I;
    printerData.language = LANG_G;
    printerData.family = FAMILY_VRE;
    printerData.variant = 1;
    activeConnection = PORT_TYPE_ETHERNET;
    pickFirmwareImage(&currentImage, &printerData);
}

// One whole upgrade through the upgrade command; returns when the writer is done.
static bool runUpgrade() {
    describePrinter();
    int started = writersStarted;
    upgradePrinterFirmware();
    if (writersStarted == started) {
        return false;
    }
    while (writerBusy()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The writer's streaming phase, in seconds.
static double writerStreaming() {
    streamStart = streamEnd = Clock::time_point();
    if (!runUpgrade() || streamEnd <= streamStart) {
        fprintf(stderr, "the upgrade did not stream\n");
        return -1;
    }
    return std::chrono::duration<double>(streamEnd - streamStart).count();
}

static bool sendAll(SocketHandle socket, const uint8_t* bytes, uint32_t size) {
    while (size > 0) {
        int32_t sent =
            networkService->send(socket, bytes, size, ethernetTimeouts.sendMilliseconds, nullptr);
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        size -= static_cast<uint32_t>(sent);
    }
    return true;
}

// The same bytes in the same writes from a plain loop, after the same flash-mode entry.
static double plainStreaming(uint16_t port, uint32_t size) {
    static const uint8_t entry[] = {0x1B, '*', 'F', 'R', '<', 'S', 'A', '1', '5', '>'};
    static const uint8_t address[4] = {127, 0, 0, 1};
    SocketHandle socket = networkService->openStream(nullptr);
    if (socket == INVALID_SOCKET_HANDLE ||
        !networkService->connect(socket, address, port, 5000, nullptr) ||
        !sendAll(socket, entry, sizeof entry)) {
        fprintf(stderr, "the plain loop could not reach the printer\n");
        return -1;
    }
    uint8_t reply[1024];
    networkService->receive(socket, reply, sizeof reply, 5000, nullptr);
    const uint8_t* bytes = FirmwareCatalogue[SLOT].bytes;
    Clock::time_point start = Clock::now();
    for (uint32_t at = 0; at < size; at += FLASH_BLOCK_SIZE) {
        uint32_t block = std::min(size - at, FLASH_BLOCK_SIZE);
        if (!sendAll(socket, bytes + at, block)) {
            fprintf(stderr, "the plain loop's send failed\n");
            return -1;
        }
    }
    Clock::time_point end = Clock::now();
    networkService->close(socket);
    return std::chrono::duration<double>(end - start).count();
}

// Waits until the printer has reset after an image, so that each run starts alike.
static void waitForReset(const SimulatedPrinter& printer, size_t resets) {
    for (int tries = 0; tries < 5000; ++tries) {
        size_t seen = 0;
        for (const SimEvent& event : printer.events()) {
            seen += event.kind == SIM_EVENT_RESET ? 1 : 0;
        }
        if (seen >= resets) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

static double total(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values) {
        sum += value;
    }
    return sum;
}

static double fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

static void compareStreaming(SimulatedPrinter& printer, uint16_t port, int repetitions) {
    uint32_t size = firmwareBuildRecords[SLOT].size & ~1u;
    std::vector<double> writer;
    std::vector<double> plain;
    size_t resets = 0;
    // The order alternates, so that neither side always runs on a warm or a cold cache.
    for (int run = 0; run < repetitions; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((run + turn) % 2 == 0) {
                writer.push_back(writerStreaming());
            } else {
                plain.push_back(plainStreaming(port, size));
            }
            waitForReset(printer, ++resets);
        }
    }
    printf("image %u bytes in %u-byte writes, %d repetitions\n", size, FLASH_BLOCK_SIZE,
           repetitions);
    struct {
        const char* name;
        double writer;
        double plain;
    } const summaries[] = {{"median", median(writer), median(plain)},
                           {"fastest", fastest(writer), fastest(plain)},
                           {"sum", total(writer), total(plain)}};
    for (const auto& summary : summaries) {
        double runs = summary.name == std::string("sum") ? repetitions : 1;
        printf("%-7s writer %.4f s (%.1f MB/s), plain loop %.4f s (%.1f MB/s), ratio %.3f "
               "(target at most 1.10)\n",
               summary.name, summary.writer, runs * size / summary.writer / 1e6, summary.plain,
               runs * size / summary.plain / 1e6, summary.writer / summary.plain);
    }
}

static void wholeUpgradeOnTheRealClock() {
    spendWaits = true;
    waitedMilliseconds = 0;
    Clock::time_point start = Clock::now();
    bool done = runUpgrade();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    spendWaits = false;
    double waited = waitedMilliseconds / 1000.0;
    printf("whole upgrade on the real clock: %s, %.3f s, of which waits asked for %.3f s; "
           "the program's own time %.3f s\n",
           done ? "done" : "FAILED", seconds, waited, seconds - waited);
}

int main(int argc, char** argv) {
    int repetitions = 7;
    bool realTime = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--real-time") == 0) {
            realTime = true;
        } else {
            repetitions = std::max(1, atoi(argv[i]));
        }
    }
    SimulatedPrinter printer;
    SimTcpServer server(printer);
    PlatformError error;
    if (!server.start(LOOPBACK_ADDRESS, 0, &error)) {
        fprintf(stderr, "cannot serve the simulated printer: error %u\n", error.number);
        return 1;
    }
    setUpProgram(server.port());
    compareStreaming(printer, server.port(), repetitions);
    if (realTime) {
        wholeUpgradeOnTheRealClock();
    }
    server.stop();
    return 0;
}
