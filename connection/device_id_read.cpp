#include "connection/device_id_read.h"

#include "connection/printer_traffic.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// The request's output buffer; the stored text keeps one byte for its NUL.
constexpr uint32_t DEVICE_ID_BUFFER_SIZE = 1024;
constexpr uint32_t DEVICE_ID_PAUSE_MILLISECONDS = 250;

bool GetPrinterID(ChannelHandle handle, PrinterData* record) {
    uint8_t reply[DEVICE_ID_BUFFER_SIZE];
    uint32_t received = 0;
    PlatformError error;
    if (!localChannelService->requestDeviceId(handle, reply, sizeof reply, &received, &error)) {
        debugLogFailure("GetPrinterID - device id request", nullptr, error);
        char message[256];
        snprintf(message, sizeof message, "GetPrinterID - Error = %d, IOCTL = %X",
                 static_cast<int>(error.number), DEVICE_ID_REQUEST_CODE);
        showMessage(message);
        return false;
    }
    // A backend that reports more than it could have delivered must not take us past the reply.
    received = std::min<uint32_t>(received, sizeof reply);
    logPrinterTraffic("GetPrinterID - reply", reply, received);
    storeDeviceId(record, reply, received);
    sleepMilliseconds(DEVICE_ID_PAUSE_MILLISECONDS);
    return true;
}

void storeDeviceId(PrinterData* record, const uint8_t* reply, uint32_t length) {
    size_t count = std::min<size_t>(length, sizeof record->deviceId - 1);
    const void* nul = memchr(reply, 0, count);
    if (nul != nullptr) {
        count = static_cast<size_t>(static_cast<const uint8_t*>(nul) - reply);
    }
    memcpy(record->deviceId, reply, count);
    record->deviceId[count] = '\0';
}
