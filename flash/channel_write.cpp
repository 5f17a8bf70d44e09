#include "flash/channel_write.h"

#include "connection/ethernet.h"
#include "connection/printer_traffic.h"

bool writeLocalChannel(intptr_t channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                       PlatformError* error) {
    return writePrinterHandle(channel, bytes, size, written, error);
}

bool writeEthernetChannel(intptr_t channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                          PlatformError* error) {
    int32_t sent = 0;
    bool ok = WriteFileEthernet(channel, bytes, size, &sent, error);
    *written = ok ? static_cast<uint32_t>(sent) : 0;
    return ok;
}

bool writeWhole(ChannelWrite write, intptr_t channel, const uint8_t* bytes, uint32_t size,
                uint32_t* accepted, PlatformError* error) {
    uint32_t total = 0;
    bool done = true;
    while (total < size) {
        uint32_t written = 0;
        PlatformError reported;
        if (!write(channel, bytes + total, size - total, &written, &reported) || written == 0) {
            reportPlatformError(error, platformFailed(reported)
                                           ? reported
                                           : PlatformError{PLATFORM_ERROR_STALLED, 0});
            done = false;
            break;
        }
        // A channel never takes more than it was offered; a count that says so is not trusted.
        total += written < size - total ? written : size - total;
    }
    if (accepted != nullptr) {
        *accepted = total;
    }
    return done;
}
