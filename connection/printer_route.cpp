#include "connection/printer_route.h"

#include "connection/ethernet.h"
#include "connection/local_discovery.h"
#include "connection/printer_traffic.h"

static bool writeLocal(PrinterChannel channel, const uint8_t* bytes, uint32_t size,
                       uint32_t* written, PlatformError* error) {
    return writePrinterHandle(channel.handle, bytes, size, written, error);
}

static bool readLocal(PrinterChannel channel, uint8_t* buffer, uint32_t* length, uint32_t) {
    return readPrinterHandle(channel.handle, buffer, *length, length);
}

static void closeLocal(PrinterChannel channel) {
    closePrinterHandle(channel.handle);
    if (printerHandle == channel.handle) {
        printerHandle = INVALID_CHANNEL_HANDLE;
    }
}

static bool writeEthernet(PrinterChannel channel, const uint8_t* bytes, uint32_t size,
                          uint32_t* written, PlatformError* error) {
    int32_t sent = 0;
    bool ok = WriteFileEthernet(channel.handle, bytes, size, &sent, error);
    *written = ok ? static_cast<uint32_t>(sent) : 0;
    return ok;
}

static bool readEthernet(PrinterChannel channel, uint8_t* buffer, uint32_t* length,
                         uint32_t timeoutMilliseconds) {
    return ReadDataEthernet(channel.handle, buffer, length, timeoutMilliseconds);
}

static void closeEthernet(PrinterChannel channel) {
    closeSocket(channel.handle);
}

const PrinterRoute localPrinterRoute = {
    .write = writeLocal,
    .readReply = readLocal,
    .close = closeLocal,
};

const PrinterRoute ethernetPrinterRoute = {
    .write = writeEthernet,
    .readReply = readEthernet,
    .close = closeEthernet,
};

bool writeWhole(PrinterChannel channel, const uint8_t* bytes, uint32_t size, uint32_t* accepted,
                PlatformError* error) {
    uint32_t total = 0;
    bool done = true;
    while (total < size) {
        uint32_t written = 0;
        PlatformError reported;
        if (!channel.route->write(channel, bytes + total, size - total, &written, &reported) ||
            written == 0) {
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
