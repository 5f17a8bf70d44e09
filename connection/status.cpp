#include "connection/status.h"

#include "connection/printer_traffic.h"
#include "connection/route_failure.h"
#include "platform/kernel.h"
#include "platform/user_interface.h"

#include <cstring>

// Pauses after a read, as the printer needs them between requests.
constexpr uint32_t PAUSE_AFTER_READ_MS = 100;
constexpr uint32_t PAUSE_BEFORE_STORING_MS = 150;
constexpr uint32_t PAUSE_AFTER_BUSY_BIT_MS = 100;
constexpr uint32_t PAUSE_AFTER_JUDGING_MS = 150;

// Byte 4 bit 0x20: the printer is busy; give it a little longer before the next request.
constexpr uint8_t STATUS_BUSY_BIT = 0x20;

bool statusReplyIsReady(const uint8_t* reply, uint32_t length) {
    if (length == 0) {
        return false;
    }
    uint8_t byte3 = length > 3 ? reply[3] : 0;
    uint8_t byte4 = length > 4 ? reply[4] : 0;
    return byte3 == 0 && (byte4 & ~1u) == 0;
}

static bool isStatusReport(uint8_t firstByte) {
    return firstByte == 'C' || firstByte == 'E' || firstByte == 'N' || firstByte == 'S';
}

// One read with caching and recovery. length is in (bytes to ask for, at most
// STATUS_CACHE_SIZE) and out (bytes delivered, 0 on failure). Only GetPrinterStatusData calls it.
static bool readStatusReply(ChannelHandle handle, uint8_t* buffer, uint32_t* length,
                            PrinterData* record) {
    uint32_t asked = *length > STATUS_CACHE_SIZE ? STATUS_CACHE_SIZE : *length;
    uint32_t received = 0;
    if (!readPrinterHandle(handle, buffer, asked, &received)) {
        *length = 0;
        sleepMilliseconds(PAUSE_AFTER_READ_MS);
        return false;
    }
    if (received > 0) {
        if (isStatusReport(buffer[0])) {
            sleepMilliseconds(PAUSE_BEFORE_STORING_MS);
            memcpy(record->statusCache, buffer, received);
            record->statusCacheLength = received;
        }
        *length = received;
        sleepMilliseconds(PAUSE_AFTER_READ_MS);
        return true;
    }
    if (record->portType == PORT_TYPE_PARALLEL) {
        // A parallel port sometimes reads empty right after a command; the last report stands in.
        showMessage("Recovering data");
        uint32_t cached = record->statusCacheLength > asked ? asked : record->statusCacheLength;
        memcpy(buffer, record->statusCache, cached);
        *length = cached;
        sleepMilliseconds(PAUSE_AFTER_READ_MS);
        return true;
    }
    *length = 0;
    sleepMilliseconds(PAUSE_AFTER_READ_MS);
    return false;
}

bool GetPrinterStatusData(ChannelHandle handle, uint8_t* buffer, uint32_t* length,
                          PrinterData* record) {
    debugLog("GetPrinterStatusData - Entry");
    debugLog("GetPrinterStatusData - Before read command to get status bytes");
    if (!readStatusReply(handle, buffer, length, record)) {
        *length = 0;
        sleepMilliseconds(PAUSE_AFTER_READ_MS);
        debugLog("GetPrinterStatusData - After read command to get status bytes - FAILED");
        return false;
    }
    debugLog("GetPrinterStatusData - After read command to get status bytes - PASSED");
    if (*length >= 5 && (buffer[4] & STATUS_BUSY_BIT) != 0) {
        sleepMilliseconds(PAUSE_AFTER_BUSY_BIT_MS);
    }
    return true;
}

bool isPrinterReady(ChannelHandle handle, PrinterData* record) {
    uint8_t reply[STATUS_CACHE_SIZE] = {};
    uint32_t length = sizeof reply;
    bool read = GetPrinterStatusData(handle, reply, &length, record);
    sleepMilliseconds(PAUSE_AFTER_JUDGING_MS);
    if (!read || length == 0) {
        return false;
    }
    keepStatusReply(reply, length);
    return statusReplyIsReady(reply, length);
}
