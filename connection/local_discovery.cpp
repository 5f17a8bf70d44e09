#include "connection/local_discovery.h"

#include "connection/status.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

ChannelHandle printerHandle = INVALID_CHANNEL_HANDLE;
const UsbDeviceRow* usbDeviceTable = UsbDeviceTable;

// A parallel port holds a printer only when its status read returns more than this.
static const uint32_t PARALLEL_REPLY_MINIMUM = 4;
// Time the port is given after it is reopened, before anyone talks to it.
static const uint32_t PARALLEL_REOPEN_WAIT_MS = 200;
// Large firmware writes to a parallel printer must not time out sooner than this.
static const uint32_t PARALLEL_WRITE_TIMEOUT_MS = 15000;

bool GetPrinterHandle(ChannelHandle* handle, PrinterData* record) {
    debugLog("GetPrinterHandle - Entry");
    debugLog("GetPrinterHandle - Before trying USB printer");
    if (findUsbPrinter(handle, usbDeviceTable)) {
        record->portType = PORT_TYPE_USB;
        debugLog("GetPrinterHandle - USB printer found");
        return true;
    }
    debugLog("GetPrinterHandle - USB printer NOT found");
    debugLog("GetPrinterHandle - Before trying parallel printer");
    if (findPrinterPARALLEL(handle, record)) {
        record->portType = PORT_TYPE_PARALLEL;
        debugLog("GetPrinterHandle - parallel printer found");
        return true;
    }
    debugLog("GetPrinterHandle - parallel printer NOT found");
    record->portType = PORT_TYPE_NONE;
    return false;
}

bool findUsbPrinter(ChannelHandle* handle, const UsbDeviceRow* table) {
    *handle = INVALID_CHANNEL_HANDLE;
    for (const UsbDeviceRow* row = table; !isUsbDeviceTableEnd(row); ++row) {
        *handle = localChannelService->open(row->devicePath, CHANNEL_SHARED, nullptr);
        if (*handle != INVALID_CHANNEL_HANDLE) {
            activeConnection = PORT_TYPE_USB;
            return true;
        }
    }
    return false;
}

// Big print jobs and firmware images need a generous write time-out on a parallel port. A
// failure here is only reported: the printer has been found all the same.
static void raiseParallelWriteTimeout(ChannelHandle handle) {
    ChannelTimeouts timeouts;
    if (!localChannelService->getTimeouts(handle, &timeouts, nullptr)) {
        showMessage("Parallel GetCommTimeouts failed");
        return;
    }
    if (timeouts.writeTotalTimeoutConstant >= PARALLEL_WRITE_TIMEOUT_MS) {
        return;
    }
    timeouts.writeTotalTimeoutConstant = PARALLEL_WRITE_TIMEOUT_MS;
    if (!localChannelService->setTimeouts(handle, &timeouts, nullptr)) {
        showMessage("Parallel SetCommTimeouts failed");
    }
}

bool findPrinterPARALLEL(ChannelHandle* handle, PrinterData* record) {
    debugLog("findPrinterPARALLEL - Entry");
    bool found = false;
    for (int portNumber = 1; portNumber <= 3 && !found; ++portNumber) {
        activeConnection = PORT_TYPE_PARALLEL;
        found = IsPrinterPARALLEL(handle, portNumber, record);
    }
    if (found) {
        raiseParallelWriteTimeout(*handle);
    }
    return found;
}

static const char* parallelDevice(int portNumber) {
    switch (portNumber) {
    case 2:
        return "LPT2:";
    case 3:
        return "LPT3:";
    default:
        return "LPT1:";
    }
}

// Closes a port that holds no printer and leaves no handle behind.
static void dropParallelPort(ChannelHandle* handle) {
    localChannelService->close(*handle);
    *handle = INVALID_CHANNEL_HANDLE;
}

// Hands out the port shared, so that status and device-id requests of others can reach it
// while the program holds it; a port that cannot be reopened counts as holding no printer.
static bool reopenParallelShared(ChannelHandle* handle, const char* device) {
    localChannelService->close(*handle);
    *handle = localChannelService->open(device, CHANNEL_SHARED, nullptr);
    if (*handle == INVALID_CHANNEL_HANDLE) {
        debugLogFormat("IsPrinterPARALLEL - Shared reopening of %s failed", device);
        return false;
    }
    sleepMilliseconds(PARALLEL_REOPEN_WAIT_MS);
    return true;
}

bool IsPrinterPARALLEL(ChannelHandle* handle, int portNumber, PrinterData* record) {
    debugLog("IsPrinterPARALLEL - Entry");
    const char* device = parallelDevice(portNumber);
    debugLogFormat("IsPrinterPARALLEL - Preparing for %s", device);
    debugLog("IsPrinterPARALLEL - Before CreateFile");
    *handle = localChannelService->open(device, CHANNEL_EXCLUSIVE, nullptr);
    debugLog("IsPrinterPARALLEL - After CreateFile");
    if (*handle == INVALID_CHANNEL_HANDLE) {
        debugLog("IsPrinterPARALLEL - After CreateFile INVALID_HANDLE_VALUE");
        return false;
    }
    debugLog("IsPrinterPARALLEL - After CreateFile found valid handle");
    uint8_t reply[STATUS_CACHE_SIZE];
    uint32_t length = sizeof reply;
    if (!GetPrinterStatusData(*handle, reply, &length, record)) {
        dropParallelPort(handle);
        return false;
    }
    if (length > PARALLEL_REPLY_MINIMUM) {
        return reopenParallelShared(handle, device);
    }
    // Something answered, but too little for a printer's status: it gets one zero byte before
    // it is let go.
    const uint8_t zero = 0;
    uint32_t written = 0;
    localChannelService->write(*handle, &zero, 1, &written, nullptr);
    dropParallelPort(handle);
    return false;
}

bool closePrinterHandle(ChannelHandle handle) {
    return localChannelService->close(handle);
}
