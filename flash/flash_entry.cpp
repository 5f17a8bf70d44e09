#include "flash/flash_entry.h"

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/printer_route.h"
#include "connection/route_failure.h"
#include "connection/status.h"
#include "flash/firmware_pick.h"
#include "history/upgrade_history.h"
#include "identity/device_id.h"
#include "identity/firmware_integrity.h"
#include "identity/printer_protocol.h"
#include "outcome/outcomes.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string_view>

static const uint32_t REPLY_SIZE = 1024;
static const uint32_t PAUSE_BEFORE_REQUEST_MS = 500;
static const uint32_t PAUSE_AFTER_REQUEST_MS = 100;
static const uint32_t PAUSE_AFTER_FIRST_REPLY_MS = 100;
static const uint32_t PAUSE_AFTER_CONFIRM_MS = 500;
static const uint32_t PAUSE_IN_FLASH_MODE_MS = 1000;

// The worker's stack; the writer's deepest call is its closing probe.
static const uint32_t WRITER_STACK_BYTES = 16384;

// A printer may send its reply to the confirming command in pieces: at most this many further
// reads gather it. Over TCP they share one receive bound between them.
static const int FLASH_REPLY_EXTRA_READS = 4;

static const char FLASH_MODE_ABANDONED_NOTICE[] =
    "The printer may be waiting in flash mode: power-cycle it before using it again";

// The verdict of the upgrade command under way, published as it changes. Its
// flashModeRequested is set once this entry's flash-mode request was accepted: from then on the
// printer may have left its normal mode, and an entry that stops must say so.
static UpgradeVerdict verdict = startingUpgradeVerdict();

int repairImageSlot = -1;

// The upgrade stops here: NOT_STARTED while nothing that changes the printer was sent, FAILED
// after the flash-mode request.
static void recordStop(UpgradeFailure failure, const char* shown, PlatformError error) {
    verdict.result =
        verdict.flashModeRequested ? UPGRADE_RESULT_FAILED : UPGRADE_RESULT_NOT_STARTED;
    verdict.failure = failure;
    verdict.error = error;
    copyOutcomeText(verdict.shown, sizeof verdict.shown, shown);
    publishUpgradeVerdict(verdict);
    completeHistoryEntry(HISTORY_FAILED, upgradeFailureName(failure), error.number, 0, 0, "");
}

static bool refuse(UpgradeFailure failure, const char* message,
                   PlatformError error = PlatformError{}) {
    showMessage(message);
    recordStop(failure, message, error);
    return false;
}

// Where the upgrade stands against a stop: open; stopped (nothing may request flash mode from
// now on); or past the flash-mode request, when a stop can no longer be honoured.
enum FlashModeGate { GATE_OPEN, GATE_STOPPED, GATE_REQUESTED };
static std::atomic<int> flashModeGate{GATE_OPEN};

// The upgrade as the history will record it, made ready by the route's entry before the
// request.
static HistoryEntry pendingEntry;

// The request goes out only through here: once it is claimed, a stop is refused; a stop that
// came first ends the entry with nothing sent. Every upgrade is in the history before its
// request: one that cannot be recorded is refused.
static bool claimFlashModeRequest() {
    int open = GATE_OPEN;
    if (!flashModeGate.compare_exchange_strong(open, GATE_REQUESTED)) {
        debugLog("Flash mode request withheld: the run was asked to stop");
        recordStop(UPGRADE_FAILURE_INTERRUPTED, "", PlatformError{});
        return false;
    }
    PlatformError error{};
    if (!beginHistoryEntry(&pendingEntry, &error)) {
        debugLogFailure("Flash mode entry - recording the upgrade", nullptr, error);
        return refuse(UPGRADE_FAILURE_HISTORY,
                      "The history of upgrades cannot be written, nothing was sent to the "
                      "printer",
                      error);
    }
    return true;
}

bool stopBeforeFlashMode() {
    int open = GATE_OPEN;
    return flashModeGate.compare_exchange_strong(open, GATE_STOPPED) || open == GATE_STOPPED;
}

void reopenFlashModeGate() {
    flashModeGate = GATE_OPEN;
}

// The entry's own command sequences refuse with what went wrong at the printer.
static bool refuseEntry(const char* message) {
    return refuse(UPGRADE_FAILURE_FLASH_MODE, message);
}

// The reply may hold zero bytes anywhere, so it is searched as bytes, not as a text.
static bool holdsFlashReady(const uint8_t* reply, uint32_t length) {
    std::string_view received(reinterpret_cast<const char*>(reply), length);
    return received.find(FLASH_READY_MARKER) != std::string_view::npos;
}

// How the further reads of a reply go on a route: a local channel is given a pause before each,
// and each waits at most timeoutMilliseconds over TCP (see PrinterRoute::readReply).
struct FurtherReads {
    uint32_t pauseMilliseconds;
    uint32_t timeoutMilliseconds;
};

// Adds to the reply (*length bytes so far) until it holds "FLASH READY", the buffer is full, a
// read brings nothing or the extra reads are used up.
static void gatherFlashReply(PrinterChannel channel, FurtherReads reads, uint8_t* reply,
                             uint32_t* length) {
    for (int extra = 0; extra < FLASH_REPLY_EXTRA_READS && *length < REPLY_SIZE &&
                        !holdsFlashReady(reply, *length);
         ++extra) {
        if (reads.pauseMilliseconds > 0) {
            sleepMilliseconds(reads.pauseMilliseconds);
        }
        uint32_t more = REPLY_SIZE - *length;
        if (!channel.route->readReply(channel, reply + *length, &more, reads.timeoutMilliseconds) ||
            more == 0) {
            return;
        }
        *length += more;
    }
}

// An entry that stops after the printer took the flash-mode request: the user must know that
// the printer may be left in flash mode. Always false, for the caller to return.
static bool abandonEntry() {
    if (verdict.flashModeRequested) {
        showMessage(FLASH_MODE_ABANDONED_NOTICE);
    }
    return false;
}

// The image for this printer, refused when the last probe's device id did not identify the
// printer, when none fits, when its bytes are no longer those the build recorded (a damaged
// image must never reach a printer), or when it is a placeholder and the printer is not the
// simulator. Runs before any flash command.
static bool chooseIntactImage(PrinterData* printer, FirmwareImage** image) {
    *image = nullptr;
    if (!printerIdentified && repairImageSlot < 0) {
        return refuse(UPGRADE_FAILURE_NOT_IDENTIFIED,
                      "The printer did not identify itself (model and firmware version): no "
                      "firmware is offered for it, nothing was sent to it");
    }
    verdict.repair = !printerIdentified;
    if (verdict.repair) {
        // The half-written printer gets again the image its last upgrade here began.
        *image = &FirmwareCatalogue[repairImageSlot];
    } else if (!pickFirmwareImage(image, printer) || *image == nullptr) {
        return refuse(UPGRADE_FAILURE_NO_IMAGE,
                      "No firmware image fits this printer, nothing was sent to it");
    }
    int slot = static_cast<int>(*image - FirmwareCatalogue);
    verdict.imageSlot = slot;
    copyOutcomeText(verdict.image, sizeof verdict.image, (*image)->version);
    if (!firmwareImageIntact(slot)) {
        return refuse(UPGRADE_FAILURE_IMAGE_DAMAGED,
                      "The firmware image in this program is damaged, nothing was sent to the "
                      "printer");
    }
    if (firmwareBuildRecords[slot].placeholder && !deviceIdNamesSimulator(printer)) {
        return refuse(UPGRADE_FAILURE_PLACEHOLDER,
                      "This program carries no real firmware for this printer (its images are "
                      "placeholders for the printer simulator), nothing was sent to it");
    }
    return true;
}

static bool refuseNotReady(const PrinterData* printer) {
    // Each text is cut so that both fit the message.
    char message[1024];
    snprintf(message, sizeof message, "%.480s printer is NOT ready, resolve and try again  %.480s",
             printer->modelName, printer->portName);
    return refuse(UPGRADE_FAILURE_NOT_READY, message);
}

// Starts the writer's thread, logging why when it cannot.
static bool startWriterThread(ThreadBody body, WriterJob* job) {
    PlatformError error;
    if (!kernelService->startThread(body, job, WRITER_STACK_BYTES, &error)) {
        debugLogFailure("startWriter - thread start", nullptr, error);
        return false;
    }
    return true;
}

// Start one writer thread on the route's body; true when it started.
static bool startLocalWriter(WriterJob* job) {
    return startWriterThread(flashWriterLocal, job);
}

static bool startEthernetWriter(WriterJob* job) {
    return startWriterThread(flashWriterEthernet, job);
}

// Fills the job, sets updateInProgress before the thread can clear it, and starts the writer.
static bool startWriter(WriterJob* job, DialogControls* controls, FirmwareImage* image,
                        PrinterData* printer, bool (*start)(WriterJob* job)) {
    job->controls = controls;
    job->image = image;
    job->printer = printer;
    updateInProgress = true;
    verdict.result = UPGRADE_RESULT_WRITING;
    verdict.writerStarted = true;
    publishUpgradeVerdict(verdict);
    if (start(job)) {
        return true;
    }
    verdict.writerStarted = false;
    showMessage("Flash update thread did not start");
    updateInProgress = false;
    recordStop(UPGRADE_FAILURE_WRITER_NOT_STARTED, "Flash update thread did not start",
               PlatformError{});
    return false;
}

// One command of the entry, written whole; a failure is logged with its cause, which for a
// command the printer took nothing of no lower layer logs.
static bool writeCommand(PrinterChannel channel, const uint8_t* bytes, uint32_t size) {
    PlatformError error;
    if (!writeWhole(channel, bytes, size, nullptr, &error)) {
        debugLogFailure("enterFlashMode - command write", nullptr, error);
        return false;
    }
    return true;
}

// The pause after a local command, and the status reply it brings, into reply (the whole
// buffer offered, *length the bytes received).
static bool readReplyLocal(ChannelHandle handle, uint32_t pause, uint8_t* reply, uint32_t* length,
                           PrinterData* printer) {
    sleepMilliseconds(pause);
    *length = REPLY_SIZE;
    if (!GetPrinterStatusData(handle, reply, length, printer)) {
        return refuseEntry("Could not read status back");
    }
    return true;
}

// The local command sequence; true when the printer answered "FLASH READY". The first reply
// only shows that the printer listens; the second, in the same buffer, must hold the marker.
bool enterFlashModeLocal(ChannelHandle handle, PrinterData* printer) {
    const PrinterChannel channel = {&localPrinterRoute, handle};
    uint8_t reply[REPLY_SIZE];
    uint32_t length = 0;
    sleepMilliseconds(PAUSE_BEFORE_REQUEST_MS);
    if (!claimFlashModeRequest()) {
        return false;
    }
    if (!writeCommand(channel, FLASH_MODE_REQUEST, sizeof FLASH_MODE_REQUEST)) {
        return refuseEntry("Error 1bFR");
    }
    verdict.flashModeRequested = true;
    if (!readReplyLocal(handle, PAUSE_AFTER_REQUEST_MS, reply, &length, printer)) {
        return false;
    }
    sleepMilliseconds(PAUSE_AFTER_FIRST_REPLY_MS);
    if (!writeCommand(channel, FLASH_CONFIRM_LOCAL, sizeof FLASH_CONFIRM_LOCAL)) {
        return refuseEntry("Error 1bIA");
    }
    if (!readReplyLocal(handle, PAUSE_AFTER_CONFIRM_MS, reply, &length, printer)) {
        return false;
    }
    // A parallel port wants one more byte to release the reply; a USB channel must not get it.
    if (printer->portType == PORT_TYPE_PARALLEL &&
        !writeCommand(channel, PARALLEL_TRAILER, sizeof PARALLEL_TRAILER)) {
        return refuseEntry("Benign write of 0 failed");
    }
    gatherFlashReply(channel, {PAUSE_AFTER_REQUEST_MS, 0}, reply, &length);
    if (!holdsFlashReady(reply, length)) {
        return refuseEntry("Failed to entered flash programming mode");
    }
    return true;
}

// The Ethernet command sequence; true when the printer answered "FLASH READY".
bool enterFlashModeEthernet(SocketHandle socket) {
    const PrinterChannel channel = {&ethernetPrinterRoute, socket};
    sleepMilliseconds(PAUSE_BEFORE_REQUEST_MS);
    if (!claimFlashModeRequest()) {
        return false;
    }
    if (!writeCommand(channel, FLASH_MODE_REQUEST, sizeof FLASH_MODE_REQUEST)) {
        return refuseEntry("Error writing [esc]FR to printer");
    }
    verdict.flashModeRequested = true;
    debugLog("Success writing [esc]FR to printer");
    sleepMilliseconds(PAUSE_AFTER_REQUEST_MS);
    if (!writeCommand(channel, FLASH_CONFIRM_ETHERNET, sizeof FLASH_CONFIRM_ETHERNET)) {
        return refuseEntry("Error writing <SA15> to printer");
    }
    debugLog("Success writing <SA15> to printer");
    sleepMilliseconds(PAUSE_AFTER_CONFIRM_MS);
    uint8_t reply[REPLY_SIZE];
    uint32_t length = REPLY_SIZE;
    if (!ReadDataEthernet(socket, reply, &length)) {
        return refuseEntry("Could not read status back after writing <SA15>");
    }
    debugLog("Success reading after <SA15> written to printer");
    gatherFlashReply(channel, {0, ethernetTimeouts.receiveMilliseconds / FLASH_REPLY_EXTRA_READS},
                     reply, &length);
    if (!holdsFlashReady(reply, length)) {
        return refuseEntry("Failed to entered flash programming mode");
    }
    debugLog("Entered flash reprogramming mode");
    sleepMilliseconds(PAUSE_IN_FLASH_MODE_MS);
    debugLog("Entered flash reprogramming mode");
    return true;
}

// What the history records of the upgrade that is about to ask for flash mode.
static void prepareHistoryEntry(const PrinterData* printer, const FirmwareImage* image,
                                const char* address) {
    HistoryEntry& entry = pendingEntry;
    entry = HistoryEntry{};
    int slot = static_cast<int>(image - FirmwareCatalogue);
    snprintf(entry.route, sizeof entry.route, "%s", historyRouteName(printer->portType));
    snprintf(entry.address, sizeof entry.address, "%s", address);
    usbSerialOfPath(address, entry.usbSerial, sizeof entry.usbSerial);
    snprintf(entry.deviceId, sizeof entry.deviceId, "%s", printer->deviceId);
    snprintf(entry.model, sizeof entry.model, "%s", printer->modelName);
    snprintf(entry.oldVersion, sizeof entry.oldVersion, "%s", printer->firmwareVersion);
    snprintf(entry.image, sizeof entry.image, "%s", image->version);
    entry.slot = slot;
    snprintf(entry.sha256, sizeof entry.sha256, "%s", firmwareBuildRecords[slot].sha256);
    entry.repair = verdict.repair;
}

// Each entry starts with nothing sent and no writer.
static void beginEntry() {
    verdict.flashModeRequested = false;
    verdict.writerStarted = false;
    verdict.repair = false;
}

bool programFlashLocal(ChannelHandle handle, DialogControls* controls, PrinterData* printer) {
    beginEntry();
    FirmwareImage* image = nullptr;
    if (!chooseIntactImage(printer, &image)) {
        return false;
    }
    // A half-written printer cannot meet the readiness rule: a repair alone goes on without it.
    if (!verdict.repair && !isPrinterReady(handle, printer)) {
        return refuseNotReady(printer);
    }
    prepareHistoryEntry(printer, image, printerPath);
    userInterfaceService->setText(controls->programStatusText, "Printer responding");
    if (!enterFlashModeLocal(handle, printer)) {
        return abandonEntry();
    }
    writerJob.handle = handle;
    return startWriter(&writerJob, controls, image, printer, startLocalWriter) || abandonEntry();
}

bool programFlashEthernet(SocketHandle socket, DialogControls* controls, PrinterData* printer) {
    beginEntry();
    FirmwareImage* image = nullptr;
    if (!chooseIntactImage(printer, &image)) {
        return false;
    }
    if (!verdict.repair && !isPrinterReadyEthernet(socket)) {
        return refuseNotReady(printer);
    }
    char address[HISTORY_TEXT_SIZE];
    formatEthernetAddress(ethernetSettings.ipOctet1, ethernetSettings.ipOctet2,
                          ethernetSettings.ipOctet3, ethernetSettings.ipOctet4,
                          ethernetSettings.tcpPort, address, sizeof address);
    prepareHistoryEntry(printer, image, address);
    userInterfaceService->setText(controls->programStatusText, "Printer responding");
    if (!enterFlashModeEthernet(socket)) {
        return abandonEntry();
    }
    writerJob.socket = socket;
    writerJob.address = ethernetSettings;
    return startWriter(&writerJob, controls, image, printer, startEthernetWriter) || abandonEntry();
}

// Asked only when the image's version occurs in the one the printer reports; only Yes goes on.
// Without a chosen image there is nothing to compare, and the entry's own choice decides.
static bool confirmSameVersion(const PrinterData* printer) {
    static const char QUESTION[] = "New version same as old version, continue?";
    if (currentImage == nullptr ||
        strstr(printer->firmwareVersion, currentImage->version) == nullptr) {
        return true;
    }
    if (userInterfaceService->messageBox(QUESTION, "Firmware update", MESSAGE_BOX_YES_NO) ==
        MESSAGE_BOX_ANSWER_YES) {
        return true;
    }
    recordStop(UPGRADE_FAILURE_DECLINED, QUESTION, PlatformError{});
    return false;
}

// The upgrade's own search or connection found no printer. The route is none now, so the
// next upgrade would go by another route than the probe's: the printer the probe identified
// counts as gone until a probe finds it again, and no image is written to another printer.
// The dialog shows nothing of its own here; the verdict keeps the system's reason.
static void recordNoPrinter() {
    printerIdentified = false;
    recordStop(UPGRADE_FAILURE_NO_PRINTER, "", routeFailure.error);
}

// The channel the upgrade opened is the writer's once it runs; when the upgrade stops before
// that, it is closed here at once, so that no later command meets a channel to a printer left
// half-way into flash mode.
static void closeUnlessWriting(PrinterChannel channel, bool writerStarted) {
    if (!writerStarted) {
        channel.route->close(channel);
    }
}

static void upgradeOverEthernet() {
    debugLog("Attempting to program flash via Ethernet");
    if (!connectEthernet(&printerSocket, ethernetSettings.ipOctet1, ethernetSettings.ipOctet2,
                         ethernetSettings.ipOctet3, ethernetSettings.ipOctet4,
                         ethernetSettings.tcpPort, &printerData)) {
        recordNoPrinter();
        return;
    }
    debugLog("Created socket for flash programming");
    // Taken before the writer starts: from then on the writer owns the socket and its global.
    PrinterChannel channel = {&ethernetPrinterRoute, printerSocket};
    bool started = confirmSameVersion(&printerData) &&
                   programFlashEthernet(printerSocket, &dialogControls, &printerData);
    closeUnlessWriting(channel, started);
}

static void upgradeOverLocalChannel() {
    if (!GetPrinterHandle(&printerHandle, &printerData)) {
        recordNoPrinter();
        return;
    }
    PrinterChannel channel = {&localPrinterRoute, printerHandle};
    bool started = confirmSameVersion(&printerData) &&
                   programFlashLocal(printerHandle, &dialogControls, &printerData);
    closeUnlessWriting(channel, started);
}

void upgradePrinterFirmware() {
    if (writerBusy()) {
        return;
    }
    verdict = startingUpgradeVerdict();
    publishUpgradeVerdict(verdict);
    // An upgrade that ended without a writer may be followed by another, whose request a stop
    // may still hold back.
    int requested = GATE_REQUESTED;
    flashModeGate.compare_exchange_strong(requested, GATE_OPEN);
    if (activeConnection == PORT_TYPE_ETHERNET) {
        upgradeOverEthernet();
    } else {
        upgradeOverLocalChannel();
    }
}
