#include "identity/firmware_integrity.h"

#include "identity/firmware_catalogue.h"
#include "identity/sha256.h"

#include <cstring>

bool firmwareImageIntact(int slot) {
    if (slot < 0 || slot >= FIRMWARE_SLOT_COUNT) {
        return false;
    }
    char checksum[SHA256_HEX_SIZE];
    sha256Hex(FirmwareCatalogue[slot].bytes, firmwareBuildRecords[slot].size, checksum);
    return strcmp(checksum, firmwareBuildRecords[slot].sha256) == 0;
}
