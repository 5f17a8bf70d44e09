#include "flash/flash_writer.h"

#include "connection/printer_route.h"
#include "history/upgrade_history.h"
#include "identity/device_id.h"
#include "outcome/outcomes.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <cstdio>

WriterJob writerJob = {
    INVALID_CHANNEL_HANDLE, INVALID_SOCKET_HANDLE, nullptr, nullptr, nullptr, {}};
std::atomic<bool> updateInProgress{false};
WriterOutcome writerOutcome;
WriterClosingProbes writerClosingProbes = {.local = nullptr, .ethernet = nullptr};

// Set by the writer just before it clears updateInProgress and cleared when its closing probe
// has returned, so that together with the flag it covers the writer's whole life.
static std::atomic<bool> closingProbeRunning{false};

static const int DELAY_SECONDS = 15;
static const int RESET_WAIT_SECONDS = 25;
static const uint32_t SECOND_MS = 1000;
static const uint32_t END_OF_FILE_PAUSE_MS = 1000;
static const uint32_t KILOBYTE = 1024;

bool writerBusy() {
    // The flag is read first: the writer raises closingProbeRunning before it clears the flag.
    return updateInProgress.load() || closingProbeRunning.load();
}

static bool needsPowerCycle(const PrinterData* printer) {
    return printer->portType == PORT_TYPE_USB &&
           (printer->boardType == BOARD_LOGIC_I || printer->boardType == BOARD_LOGIC_II);
}

// The local body's closing steps after its channel is closed: older USB adapters of boards I
// and II come back only after a power cycle, so the user is asked for one before the probe.
static void probeLocal(const WriterJob* job) {
    if (needsPowerCycle(job->printer)) {
        userInterfaceService->messageBox("USB printer, please power cycle printer before "
                                         "proceeding, older USB adpaters need BRANDING",
                                         "update", MESSAGE_BOX_OK);
    }
    if (writerClosingProbes.local != nullptr) {
        writerClosingProbes.local(job->controls, job->printer);
    }
}

static void probeEthernet(const WriterJob* job) {
    if (writerClosingProbes.ethernet != nullptr) {
        writerClosingProbes.ethernet(job->controls, job->printer, &job->address);
    }
}

static void showStatus(const WriterJob* job, const char* text) {
    userInterfaceService->setText(job->controls->programStatusText, text);
}

static void showState(const WriterJob* job, const char* text) {
    userInterfaceService->setText(job->controls->programStateText, text);
}

// The writer's progress, published as the dialog's texts change: the phase, the second of a
// wait and the count of bytes the printer took (writerOutcome's, the one count).
static void reportPhase(WriterPhase phase, int seconds) {
    publishWriterProgress({phase, seconds, writerOutcome.bytesAccepted, writerOutcome.imageSize});
}

// One "%d seconds elapsed" text and one second's wait for each second of the phase.
static void countSeconds(const WriterJob* job, WriterPhase phase, int seconds) {
    char text[1024];
    for (int second = 0; second < seconds; ++second) {
        snprintf(text, sizeof text, "%d seconds elapsed", second);
        showState(job, text);
        reportPhase(phase, second);
        sleepMilliseconds(SECOND_MS);
    }
}

static void showWriteError(PlatformError error) {
    char text[1024];
    snprintf(text, sizeof text, "Write error = Dec = %d, Hex = %X", static_cast<int>(error.number),
             static_cast<unsigned>(error.number));
    showMessage(text);
}

// Streams the image in blocks of at most FLASH_BLOCK_SIZE bytes, each announced by the running
// count of kilobytes including that block, keeping writerOutcome up to date. False after a write
// error, which has been shown.
static bool streamImage(const WriterJob* job, PrinterChannel channel) {
    FirmwareImage* image = job->image;
    // The printer takes the image in 16-bit words: an odd last byte is never sent, and the
    // catalogue keeps the even size from now on.
    if (image->size % 2 != 0) {
        image->size -= 1;
    }
    const uint32_t size = image->size;
    writerOutcome.imageSize = size;
    char text[1024];
    snprintf(text, sizeof text, "Programming %d KBytes", static_cast<int>(size / KILOBYTE));
    showStatus(job, text);
    reportPhase(WRITER_PHASE_IMAGE, 0);
    uint32_t total = 0;
    while (total < size) {
        uint32_t block = size - total < FLASH_BLOCK_SIZE ? size - total : FLASH_BLOCK_SIZE;
        const uint8_t* position = image->bytes + total;
        total += block;
        snprintf(text, sizeof text, "%d KBytes programmed\r\n", static_cast<int>(total / KILOBYTE));
        showState(job, text);
        // The whole block goes out even when the channel takes it piecemeal, so that no byte
        // of the image is skipped.
        PlatformError error;
        uint32_t accepted = 0;
        bool written = writeWhole(channel, position, block, &accepted, &error);
        writerOutcome.bytesAccepted += accepted;
        reportPhase(WRITER_PHASE_IMAGE, 0);
        if (!written) {
            writerOutcome.writeError = error;
            showWriteError(error);
            return false;
        }
    }
    writerOutcome.wroteAll = true;
    return true;
}

static void waitForReset(const WriterJob* job) {
    showState(job, "End Of File");
    reportPhase(WRITER_PHASE_END_OF_FILE, 0);
    sleepMilliseconds(END_OF_FILE_PAUSE_MS);
    showStatus(job, "Waiting for reset");
    countSeconds(job, WRITER_PHASE_RESET_WAIT, RESET_WAIT_SECONDS);
    showStatus(job, "Progamming complete");
    showState(job, " ");
    reportPhase(WRITER_PHASE_COMPLETE, 0);
}

// What the closing probe read tells whether the printer runs the image: a probe that ran after
// the writer's (its number is newer), found the printer and read its device id.
static void judgeUpgrade(uint32_t probeBefore) {
    UpgradeVerdict verdict = lastUpgradeVerdict();
    ProbeOutcome probe = lastProbeOutcome();
    bool read = probe.number != probeBefore && probe.deviceIdRead &&
                probe.result != PROBE_RESULT_NO_PRINTER;
    copyOutcomeText(verdict.newVersion, sizeof verdict.newVersion, read ? probe.version : "");
    verdict.bytesAccepted = writerOutcome.bytesAccepted;
    verdict.imageSize = writerOutcome.imageSize;
    verdict.result = UPGRADE_RESULT_FAILED;
    if (!writerOutcome.wroteAll) {
        verdict.failure = UPGRADE_FAILURE_WRITE_ERROR;
        verdict.error = writerOutcome.writeError;
    } else if (!read) {
        verdict.failure = UPGRADE_FAILURE_VERSION_NOT_READ;
    } else if (!versionRunsImage(probe.version, verdict.image)) {
        verdict.failure = UPGRADE_FAILURE_VERSION_MISMATCH;
    } else {
        verdict.result = UPGRADE_RESULT_VERIFIED;
        verdict.failure = UPGRADE_FAILURE_NONE;
    }
    publishUpgradeVerdict(verdict);
    completeHistoryEntry(verdict.result == UPGRADE_RESULT_VERIFIED ? HISTORY_VERIFIED
                                                                   : HISTORY_FAILED,
                         upgradeFailureName(verdict.failure), verdict.error.number,
                         verdict.bytesAccepted, verdict.imageSize, verdict.newVersion);
}

// The closing steps run after success and after a write error alike. updateInProgress is
// cleared first so that the user may exit again; the dialog's other commands wait for
// writerBusy() until the closing probe, which uses the same globals, has returned, and the
// verdict is in.
static void finishWriter(const WriterJob* job, PrinterChannel channel,
                         void (*closingProbe)(const WriterJob* job)) {
    closingProbeRunning = true;
    updateInProgress = false;
    channel.route->close(channel);
    reportPhase(WRITER_PHASE_CLOSING_PROBE, 0);
    uint32_t probeBefore = lastProbeOutcome().number;
    closingProbe(job);
    judgeUpgrade(probeBefore);
    reportPhase(WRITER_PHASE_DONE, 0);
    closingProbeRunning = false;
}

// The two bodies differ in their channel, the job's handle or socket on its route, and in
// their closing probe.
static void runWriter(const WriterJob* job, PrinterChannel channel,
                      void (*closingProbe)(const WriterJob* job)) {
    writerOutcome = WriterOutcome{false, 0, 0, {}};
    showStatus(job, "Delaying 15 seconds");
    countSeconds(job, WRITER_PHASE_DELAY, DELAY_SECONDS);
    if (streamImage(job, channel)) {
        waitForReset(job);
    }
    finishWriter(job, channel, closingProbe);
}

void flashWriterLocal(void* argument) {
    const auto* job = static_cast<const WriterJob*>(argument);
    runWriter(job, {&localPrinterRoute, job->handle}, probeLocal);
}

void flashWriterEthernet(void* argument) {
    const auto* job = static_cast<const WriterJob*>(argument);
    runWriter(job, {&ethernetPrinterRoute, job->socket}, probeEthernet);
}
