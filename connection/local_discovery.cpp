#include "connection/local_discovery.h"

#include "connection/printer_traffic.h"
#include "connection/route_failure.h"
#include "connection/status.h"
#include "identity/device_id.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <cstdio>
#include <cstring>

ChannelHandle printerHandle = INVALID_CHANNEL_HANDLE;
char printerPath[LISTED_DEVICE_PATH_SIZE];
const UsbDeviceRow* usbDeviceTable = UsbDeviceTable;
const char* pickedUsbDevice = nullptr;
ListedPrinterDevice listedUsbPrinters[LISTED_USB_PRINTER_LIMIT];
uint32_t listedUsbPrinterCount = 0;

// A parallel port holds a printer only when its status read returns more than this.
static const uint32_t PARALLEL_REPLY_MINIMUM = 4;
// Time the port is given after it is reopened, before anyone talks to it.
static const uint32_t PARALLEL_REOPEN_WAIT_MS = 200;
// Large firmware writes to a parallel printer must not time out sooner than this.
static const uint32_t PARALLEL_WRITE_TIMEOUT_MS = 15000;

bool GetPrinterHandle(ChannelHandle* handle, PrinterData* record) {
    debugLog("GetPrinterHandle - Entry");
    printerPath[0] = '\0';
    clearRouteFailure();
    debugLog("GetPrinterHandle - Before trying USB printer");
    if (findUsbPrinter(handle, usbDeviceTable)) {
        setPrinterRoute(record, PORT_TYPE_USB);
        debugLog("GetPrinterHandle - USB printer found");
        return true;
    }
    debugLog("GetPrinterHandle - USB printer NOT found");
    // The printer the user named, or one of several that the user must name: never another.
    if (pickedUsbDevice != nullptr || severalUsbPrintersUnpicked()) {
        debugLogFormat("GetPrinterHandle - %u USB printers listed, %s picked",
                       listedUsbPrinterCount,
                       pickedUsbDevice != nullptr ? pickedUsbDevice : "none");
        setPrinterRoute(record, PORT_TYPE_NONE);
        return false;
    }
    debugLog("GetPrinterHandle - Before trying parallel printer");
    if (findPrinterPARALLEL(handle, record)) {
        setPrinterRoute(record, PORT_TYPE_PARALLEL);
        debugLog("GetPrinterHandle - parallel printer found");
        return true;
    }
    debugLog("GetPrinterHandle - parallel printer NOT found");
    setPrinterRoute(record, PORT_TYPE_NONE);
    return false;
}

// Opens a device, logging the system's reason when it cannot be opened.
static ChannelHandle openChannel(const char* operation, const char* path, ChannelSharing sharing) {
    PlatformError error;
    ChannelHandle handle = localChannelService->open(path, sharing, &error);
    if (handle == INVALID_CHANNEL_HANDLE) {
        debugLogFailure(operation, path, error);
    }
    return handle;
}

// A device that the user named or that the system listed says why it did not open; the fixed
// table's units, absent on most machines, do not.
static bool openUsbPrinter(ChannelHandle* handle, const char* path, bool named) {
    PlatformError error;
    *handle = localChannelService->open(path, CHANNEL_SHARED, &error);
    if (*handle == INVALID_CHANNEL_HANDLE) {
        debugLogFailure("findUsbPrinter - open", path, error);
        if (named) {
            noteRouteFailure(path, error);
        }
        return false;
    }
    snprintf(printerPath, sizeof printerPath, "%s", path);
    return true;
}

// Keeps the listed devices whose device id names a printer of the family.
static void listFamilyUsbPrinters() {
    static ListedPrinterDevice devices[LISTED_USB_PRINTER_LIMIT];
    uint32_t count = localChannelService->listPrinterDevices(devices, LISTED_USB_PRINTER_LIMIT);
    listedUsbPrinterCount = 0;
    for (uint32_t index = 0; index < count; ++index) {
        if (deviceIdNamesFamily(devices[index].deviceId)) {
            debugLogFormat("findUsbPrinter - Listed printer %s", devices[index].path);
            listedUsbPrinters[listedUsbPrinterCount++] = devices[index];
        }
    }
}

bool severalUsbPrintersUnpicked() {
    return pickedUsbDevice == nullptr && listedUsbPrinterCount > 1;
}

bool findUsbPrinter(ChannelHandle* handle, const UsbDeviceRow* table) {
    *handle = INVALID_CHANNEL_HANDLE;
    listedUsbPrinterCount = 0;
    if (pickedUsbDevice != nullptr) {
        return openUsbPrinter(handle, pickedUsbDevice, true);
    }
    for (const UsbDeviceRow* row = table; !isUsbDeviceTableEnd(row); ++row) {
        if (openUsbPrinter(handle, row->devicePath, false)) {
            return true;
        }
    }
    listFamilyUsbPrinters();
    return listedUsbPrinterCount == 1 && openUsbPrinter(handle, listedUsbPrinters[0].path, true);
}

// Big print jobs and firmware images need a generous write time-out on a parallel port. A
// failure here is only reported: the printer has been found all the same.
static void raiseParallelWriteTimeout(ChannelHandle handle) {
    ChannelTimeouts timeouts;
    PlatformError error;
    if (!localChannelService->getTimeouts(handle, &timeouts, &error)) {
        debugLogFailure("findPrinterPARALLEL - reading the time-outs", nullptr, error);
        showMessage("Parallel GetCommTimeouts failed");
        return;
    }
    if (timeouts.writeTotalTimeoutConstant >= PARALLEL_WRITE_TIMEOUT_MS) {
        return;
    }
    timeouts.writeTotalTimeoutConstant = PARALLEL_WRITE_TIMEOUT_MS;
    if (!localChannelService->setTimeouts(handle, &timeouts, &error)) {
        debugLogFailure("findPrinterPARALLEL - setting the time-outs", nullptr, error);
        showMessage("Parallel SetCommTimeouts failed");
    }
}

bool findPrinterPARALLEL(ChannelHandle* handle, PrinterData* record) {
    debugLog("findPrinterPARALLEL - Entry");
    bool found = false;
    for (int portNumber = 1; portNumber <= 3 && !found; ++portNumber) {
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
    *handle = openChannel("IsPrinterPARALLEL - open", device, CHANNEL_SHARED);
    if (*handle == INVALID_CHANNEL_HANDLE) {
        debugLogFormat("IsPrinterPARALLEL - Shared reopening of %s failed", device);
        return false;
    }
    sleepMilliseconds(PARALLEL_REOPEN_WAIT_MS);
    snprintf(printerPath, sizeof printerPath, "%s", device);
    return true;
}

bool IsPrinterPARALLEL(ChannelHandle* handle, int portNumber, PrinterData* record) {
    debugLog("IsPrinterPARALLEL - Entry");
    const char* device = parallelDevice(portNumber);
    debugLogFormat("IsPrinterPARALLEL - Preparing for %s", device);
    debugLog("IsPrinterPARALLEL - Before CreateFile");
    *handle = openChannel("IsPrinterPARALLEL - open", device, CHANNEL_EXCLUSIVE);
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
    PlatformError error;
    if (!writePrinterHandle(*handle, &zero, 1, &written, &error)) {
        debugLogFailure("IsPrinterPARALLEL - zero byte to", device, error);
    }
    dropParallelPort(handle);
    return false;
}

bool closePrinterHandle(ChannelHandle handle) {
    return localChannelService->close(handle);
}
