#include "connection/printer_traffic.h"

#include "platform/kernel.h"

#include <cstdio>

constexpr int LINE_SIZE = 1024;
constexpr int WHAT_SHOWN = 160;
// A write shows this much: a whole command, the start of an image's block.
constexpr uint32_t WRITE_SHOWN = 16;
// The name, the count, every byte at four characters, the tail and the NUL fit the line.
static_assert(WHAT_SHOWN + sizeof " 4294967295 bytes: " + 4 * size_t{PRINTER_TRAFFIC_SHOWN} +
                      sizeof " ... 4294967295 more" <=
                  LINE_SIZE,
              "a traffic line never runs out of room");

// Writes one byte as the line shows it; returns the characters written.
static int showByte(char* out, uint8_t byte) {
    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    if (byte == '\\') {
        out[0] = out[1] = '\\';
        return 2;
    }
    if (byte >= 0x20 && byte < 0x7F) {
        out[0] = static_cast<char>(byte);
        return 1;
    }
    out[0] = '\\';
    out[1] = 'x';
    out[2] = HEX_DIGITS[byte >> 4];
    out[3] = HEX_DIGITS[byte & 0x0F];
    return 4;
}

void logPrinterTraffic(const char* what, const uint8_t* bytes, uint32_t count, uint32_t shown) {
    if (!kernelService->debugLogWanted()) {
        return;
    }
    char line[LINE_SIZE];
    int used = snprintf(line, sizeof line, "%.*s %u bytes: ", WHAT_SHOWN, what, count);
    uint32_t limit = shown < PRINTER_TRAFFIC_SHOWN ? shown : PRINTER_TRAFFIC_SHOWN;
    uint32_t written = count < limit ? count : limit;
    for (uint32_t i = 0; i < written; ++i) {
        used += showByte(line + used, bytes[i]);
    }
    line[used] = '\0';
    if (written < count) {
        snprintf(line + used, sizeof line - used, " ... %u more", count - written);
    }
    debugLog(line);
}

bool readPrinterHandle(ChannelHandle handle, uint8_t* buffer, uint32_t size, uint32_t* received) {
    PlatformError failure;
    if (!localChannelService->read(handle, buffer, size, received, &failure)) {
        debugLogFailure("readPrinterHandle - read", nullptr, failure);
        return false;
    }
    if (*received > 0) {
        logPrinterTraffic("readPrinterHandle - reply", buffer, *received);
    }
    return true;
}

bool writePrinterHandle(ChannelHandle handle, const uint8_t* bytes, uint32_t size,
                        uint32_t* written, PlatformError* error) {
    PlatformError failure;
    if (!localChannelService->write(handle, bytes, size, written, &failure)) {
        debugLogFailure("writePrinterHandle - write", nullptr, failure);
        reportPlatformError(error, failure);
        return false;
    }
    logPrinterTraffic("writePrinterHandle - wrote", bytes, *written, WRITE_SHOWN);
    return true;
}

void logEachByte(const uint8_t* bytes, uint32_t count, bool withBlank) {
    for (uint32_t i = 0; i < count; ++i) {
        if (withBlank) {
            debugLogFormat("%X ", bytes[i]);
        } else {
            debugLogFormat("%X", bytes[i]);
        }
    }
}
