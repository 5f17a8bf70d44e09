#include "flash/flash_entry.h"

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/printer_traffic.h"
#include "connection/status.h"
#include "flash/channel_write.h"
#include "flash/firmware_pick.h"
#include "identity/device_id.h"
#include "identity/firmware_integrity.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <cstdio>
#include <cstring>
#include <string_view>

static const uint8_t FLASH_MODE_REQUEST[] = {0x1B, '*', 'F', 'R'};
static const uint8_t FLASH_CONFIRM_LOCAL[] = {0x1B, 'I', 'A', 0x0F};
static const uint8_t FLASH_CONFIRM_ETHERNET[] = {'<', 'S', 'A', '1', '5', '>'};
static const uint8_t PARALLEL_TRAILER[] = {0x00};
static const std::string_view FLASH_READY_MARKER = "FLASH READY";

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

bool flashModeAbandoned = false;

// Set once this entry's flash-mode request was accepted: from then on the printer may have left
// its normal mode, and an entry that stops must say so.
static bool flashModeRequested = false;

static bool refuse(const char* message) {
    showMessage(message);
    return false;
}

// The reply may hold zero bytes anywhere, so it is searched as bytes, not as a text.
static bool holdsFlashReady(const uint8_t* reply, uint32_t length) {
    std::string_view received(reinterpret_cast<const char*>(reply), length);
    return received.find(FLASH_READY_MARKER) != std::string_view::npos;
}

// One further read of the reply on a route: *length in, room; out, the count received.
typedef bool (*ReplyRead)(intptr_t channel, uint8_t* buffer, uint32_t* length);

// Adds to the reply (*length bytes so far) until it holds "FLASH READY", the buffer is full, a
// read brings nothing or the extra reads are used up.
static void gatherFlashReply(ReplyRead read, intptr_t channel, uint8_t* reply, uint32_t* length) {
    for (int extra = 0; extra < FLASH_REPLY_EXTRA_READS && *length < REPLY_SIZE &&
                        !holdsFlashReady(reply, *length);
         ++extra) {
        uint32_t more = REPLY_SIZE - *length;
        if (!read(channel, reply + *length, &more) || more == 0) {
            return;
        }
        *length += more;
    }
}

static bool readMoreLocal(intptr_t channel, uint8_t* buffer, uint32_t* length) {
    sleepMilliseconds(PAUSE_AFTER_REQUEST_MS);
    return readPrinterHandle(channel, buffer, *length, length, nullptr);
}

static bool readMoreEthernet(intptr_t channel, uint8_t* buffer, uint32_t* length) {
    return ReadDataEthernet(channel, buffer, length,
                            ethernetTimeouts.receiveMilliseconds / FLASH_REPLY_EXTRA_READS);
}

// An entry that stops after the printer took the flash-mode request: the user must know that
// the printer may be left in flash mode. Always false, for the caller to return.
static bool abandonEntry() {
    if (flashModeRequested) {
        flashModeAbandoned = true;
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
    if (!printerIdentified) {
        return refuse("The printer did not identify itself (model and firmware version): no "
                      "firmware is offered for it, nothing was sent to it");
    }
    if (!pickFirmwareImage(image, printer) || *image == nullptr) {
        return refuse("No firmware image fits this printer, nothing was sent to it");
    }
    int slot = static_cast<int>(*image - FirmwareCatalogue);
    if (!firmwareImageIntact(slot)) {
        return refuse("The firmware image in this program is damaged, nothing was sent to the "
                      "printer");
    }
    if (firmwareBuildRecords[slot].placeholder && !deviceIdNamesSimulator(printer)) {
        return refuse("This program carries no real firmware for this printer (its images are "
                      "placeholders for the printer simulator), nothing was sent to it");
    }
    return true;
}

static bool refuseNotReady(const PrinterData* printer) {
    // Each text is cut so that both fit the message.
    char message[1024];
    snprintf(message, sizeof message, "%.480s printer is NOT ready, resolve and try again  %.480s",
             printer->modelName, printer->portName);
    return refuse(message);
}

// Fills the job, sets updateInProgress before the thread can clear it, and starts the writer.
static bool startWriter(WriterJob* job, DialogControls* controls, FirmwareImage* image,
                        PrinterData* printer, bool (*start)(WriterJob* job)) {
    job->controls = controls;
    job->image = image;
    job->printer = printer;
    updateInProgress = true;
    if (start(job)) {
        return true;
    }
    showMessage("Flash update thread did not start");
    updateInProgress = false;
    return false;
}

static bool writeLocal(ChannelHandle handle, const uint8_t* bytes, uint32_t size) {
    return writeWhole(writeLocalChannel, handle, bytes, size, nullptr, nullptr);
}

// The pause after a local command, and the status reply it brings, into reply (the whole
// buffer offered, *length the bytes received).
static bool readReplyLocal(ChannelHandle handle, uint32_t pause, uint8_t* reply, uint32_t* length,
                           PrinterData* printer) {
    sleepMilliseconds(pause);
    *length = REPLY_SIZE;
    if (!GetPrinterStatusData(handle, reply, length, printer)) {
        return refuse("Could not read status back");
    }
    return true;
}

// The local command sequence; true when the printer answered "FLASH READY". The first reply
// only shows that the printer listens; the second, in the same buffer, must hold the marker.
bool enterFlashModeLocal(ChannelHandle handle, PrinterData* printer) {
    uint8_t reply[REPLY_SIZE];
    uint32_t length = 0;
    sleepMilliseconds(PAUSE_BEFORE_REQUEST_MS);
    if (!writeLocal(handle, FLASH_MODE_REQUEST, sizeof FLASH_MODE_REQUEST)) {
        return refuse("Error 1bFR");
    }
    flashModeRequested = true;
    if (!readReplyLocal(handle, PAUSE_AFTER_REQUEST_MS, reply, &length, printer)) {
        return false;
    }
    sleepMilliseconds(PAUSE_AFTER_FIRST_REPLY_MS);
    if (!writeLocal(handle, FLASH_CONFIRM_LOCAL, sizeof FLASH_CONFIRM_LOCAL)) {
        return refuse("Error 1bIA");
    }
    if (!readReplyLocal(handle, PAUSE_AFTER_CONFIRM_MS, reply, &length, printer)) {
        return false;
    }
    // A parallel port wants one more byte to release the reply; a USB channel must not get it.
    if (printer->portType == PORT_TYPE_PARALLEL &&
        !writeLocal(handle, PARALLEL_TRAILER, sizeof PARALLEL_TRAILER)) {
        return refuse("Benign write of 0 failed");
    }
    gatherFlashReply(readMoreLocal, handle, reply, &length);
    if (!holdsFlashReady(reply, length)) {
        return refuse("Failed to entered flash programming mode");
    }
    return true;
}

static bool sendEthernet(SocketHandle socket, const uint8_t* bytes, uint32_t size) {
    return writeWhole(writeEthernetChannel, socket, bytes, size, nullptr, nullptr);
}

// The Ethernet command sequence; true when the printer answered "FLASH READY".
bool enterFlashModeEthernet(SocketHandle socket) {
    sleepMilliseconds(PAUSE_BEFORE_REQUEST_MS);
    if (!sendEthernet(socket, FLASH_MODE_REQUEST, sizeof FLASH_MODE_REQUEST)) {
        return refuse("Error writing [esc]FR to printer");
    }
    flashModeRequested = true;
    debugLog("Success writing [esc]FR to printer");
    sleepMilliseconds(PAUSE_AFTER_REQUEST_MS);
    if (!sendEthernet(socket, FLASH_CONFIRM_ETHERNET, sizeof FLASH_CONFIRM_ETHERNET)) {
        return refuse("Error writing <SA15> to printer");
    }
    debugLog("Success writing <SA15> to printer");
    sleepMilliseconds(PAUSE_AFTER_CONFIRM_MS);
    uint8_t reply[REPLY_SIZE];
    uint32_t length = REPLY_SIZE;
    if (!ReadDataEthernet(socket, reply, &length)) {
        return refuse("Could not read status back after writing <SA15>");
    }
    debugLog("Success reading after <SA15> written to printer");
    gatherFlashReply(readMoreEthernet, socket, reply, &length);
    if (!holdsFlashReady(reply, length)) {
        return refuse("Failed to entered flash programming mode");
    }
    debugLog("Entered flash reprogramming mode");
    sleepMilliseconds(PAUSE_IN_FLASH_MODE_MS);
    debugLog("Entered flash reprogramming mode");
    return true;
}

bool programFlashLocal(ChannelHandle handle, DialogControls* controls, PrinterData* printer) {
    flashModeRequested = false;
    FirmwareImage* image = nullptr;
    if (!chooseIntactImage(printer, &image)) {
        return false;
    }
    if (!isPrinterReady(handle, printer)) {
        return refuseNotReady(printer);
    }
    userInterfaceService->setText(controls->programStatusText, "Printer responding");
    if (!enterFlashModeLocal(handle, printer)) {
        return abandonEntry();
    }
    writerJob.handle = handle;
    return startWriter(&writerJob, controls, image, printer, startLocalWriter) || abandonEntry();
}

bool programFlashEthernet(SocketHandle socket, DialogControls* controls, PrinterData* printer) {
    flashModeRequested = false;
    FirmwareImage* image = nullptr;
    if (!chooseIntactImage(printer, &image)) {
        return false;
    }
    if (!isPrinterReadyEthernet(socket)) {
        return refuseNotReady(printer);
    }
    userInterfaceService->setText(controls->programStatusText, "Printer responding");
    if (!enterFlashModeEthernet(socket)) {
        return abandonEntry();
    }
    writerJob.socket = socket;
    writerJob.address = ethernetSettings;
    return startWriter(&writerJob, controls, image, printer, startEthernetWriter) || abandonEntry();
}

// Starts the writer's thread, logging why when it cannot.
static bool startWriterThread(ThreadBody body, WriterJob* job) {
    PlatformError error = 0;
    if (!kernelService->startThread(body, job, WRITER_STACK_BYTES, &error)) {
        debugLogFailure("startWriter - thread start", nullptr, error);
        return false;
    }
    return true;
}

bool startLocalWriter(WriterJob* job) {
    return startWriterThread(flashWriterLocal, job);
}

bool startEthernetWriter(WriterJob* job) {
    return startWriterThread(flashWriterEthernet, job);
}

// Asked only when the image's version occurs in the one the printer reports; only Yes goes on.
// Without a chosen image there is nothing to compare, and the entry's own choice decides.
static bool confirmSameVersion(const PrinterData* printer) {
    if (currentImage == nullptr ||
        strstr(printer->firmwareVersion, currentImage->version) == nullptr) {
        return true;
    }
    return userInterfaceService->messageBox("New version same as old version, continue?",
                                            "Firmware update",
                                            MESSAGE_BOX_YES_NO) == MESSAGE_BOX_ANSWER_YES;
}

// The socket and handle the upgrade opened are the writer's once it runs; when the upgrade
// stops before that, they are closed here at once, so that no later command meets a channel
// to a printer left half-way into flash mode.
static void upgradeOverEthernet() {
    debugLog("Attempting to program flash via Ethernet");
    if (!connectEthernet(&printerSocket, ethernetSettings.ipOctet1, ethernetSettings.ipOctet2,
                         ethernetSettings.ipOctet3, ethernetSettings.ipOctet4,
                         ethernetSettings.tcpPort, &printerData)) {
        return;
    }
    debugLog("Created socket for flash programming");
    if (!confirmSameVersion(&printerData) ||
        !programFlashEthernet(printerSocket, &dialogControls, &printerData)) {
        closeSocket(printerSocket);
    }
}

static void upgradeOverLocalChannel() {
    if (!GetPrinterHandle(&printerHandle, &printerData)) {
        return;
    }
    if (!confirmSameVersion(&printerData) ||
        !programFlashLocal(printerHandle, &dialogControls, &printerData)) {
        closePrinterHandle(printerHandle);
        printerHandle = INVALID_CHANNEL_HANDLE;
    }
}

void upgradePrinterFirmware() {
    if (writerBusy()) {
        return;
    }
    flashModeAbandoned = false;
    if (activeConnection == PORT_TYPE_ETHERNET) {
        upgradeOverEthernet();
    } else {
        upgradeOverLocalChannel();
    }
}
