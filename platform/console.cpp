#include "platform/console.h"

bool assembleConsoleLine(bool (*readByte)(char* byte), char* buffer, uint32_t size) {
    uint32_t length = 0;
    bool readAny = false;
    char byte = '\0';
    while (readByte(&byte)) {
        readAny = true;
        if (byte == '\n') {
            break;
        }
        if (length + 1 < size) {
            buffer[length++] = byte;
        }
    }
    // A line typed on a Windows console, or piped from a file with Windows line ends.
    if (length > 0 && buffer[length - 1] == '\r') {
        --length;
    }
    if (size > 0) {
        buffer[length] = '\0';
    }
    return readAny;
}
