#include "connection/status.h"

bool statusReplyIsReady(const uint8_t* reply, uint32_t length) {
    if (length < 1) {
        return false;
    }
    uint8_t byte3 = length > 3 ? reply[3] : 0;
    uint8_t byte4 = length > 4 ? reply[4] : 0;
    return byte3 == 0 && (byte4 & ~1u) == 0;
}
