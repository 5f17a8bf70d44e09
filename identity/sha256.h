#pragma once

// SHA-256 of a byte range, as the build records it beside each firmware image and as the
// simulated printer uses it to recognise an image it received.

#include <cstddef>
#include <cstdint>

constexpr size_t SHA256_HEX_SIZE = 65; // 64 lower-case hexadecimal digits and a NUL

// Running state, for data that arrives in pieces (the simulated printer's image reception).
struct Sha256State {
    uint32_t hash[8];
    uint8_t block[64];
    uint32_t blockLength;
    uint64_t totalLength;
};

void sha256Start(Sha256State* state);
void sha256Add(Sha256State* state, const uint8_t* bytes, size_t size);
// Ends the digest and writes it as lower-case hexadecimal, NUL-terminated.
void sha256FinishHex(Sha256State* state, char out[SHA256_HEX_SIZE]);

// The whole digest of one byte range in one call.
void sha256Hex(const uint8_t* bytes, size_t size, char out[SHA256_HEX_SIZE]);
