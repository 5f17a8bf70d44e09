// Temporary stand-in for the status read so that the discovery links: one channel read, the
// reply cached when it is a status report, an empty read answered from the cache on a parallel
// port. Replaced by the real implementation when the branches meet.
#include "connection/status.h"

#include "platform/user_interface.h"

#include <cstring>

bool statusReplyIsReady(const uint8_t* reply, uint32_t length) {
    return length > 0 && (length <= 3 || reply[3] == 0) && (length <= 4 || reply[4] <= 1);
}

bool readStatusReply(ChannelHandle handle, uint8_t* buffer, uint32_t* length, PrinterData* record) {
    uint32_t received = 0;
    if (!localChannelService->read(handle, buffer, *length, &received, nullptr)) {
        *length = 0;
        return false;
    }
    if (received > 0) {
        if (strchr("CENS", buffer[0]) != nullptr && buffer[0] != 0) {
            memcpy(record->statusCache, buffer, received);
            record->statusCacheLength = received;
        }
        *length = received;
        return true;
    }
    if (record->portType != PORT_TYPE_PARALLEL) {
        *length = 0;
        return false;
    }
    showMessage("Recovering data");
    memcpy(buffer, record->statusCache, record->statusCacheLength);
    *length = record->statusCacheLength;
    return true;
}

bool GetPrinterStatusData(ChannelHandle handle, uint8_t* buffer, uint32_t* length,
                          PrinterData* record) {
    return readStatusReply(handle, buffer, length, record);
}

bool isPrinterReady(ChannelHandle handle, PrinterData* record) {
    uint8_t reply[STATUS_CACHE_SIZE] = {};
    uint32_t length = sizeof reply;
    return GetPrinterStatusData(handle, reply, &length, record) &&
           statusReplyIsReady(reply, length);
}
