#pragma once

// Whether a built-in firmware image still holds the bytes the build recorded for its slot.

// True when the SHA-256 of the slot's first firmwareBuildRecords[slot].size bytes is the one the
// build recorded. The recorded size is used because the flash writer rounds the live size down.
bool firmwareImageIntact(int slot);
