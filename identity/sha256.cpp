#include "identity/sha256.h"

#include <cstdio>
#include <cstring>

static const uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

static uint32_t rotateRight(uint32_t value, unsigned count) {
    return (value >> count) | (value << (32 - count));
}

static void compressBlock(uint32_t hash[8], const uint8_t block[64]) {
    uint32_t schedule[64];
    for (size_t i = 0; i < 16; ++i) {
        schedule[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
                      (uint32_t{block[4 * i + 2]} << 8) | uint32_t{block[4 * i + 3]};
    }
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = rotateRight(schedule[i - 15], 7) ^ rotateRight(schedule[i - 15], 18) ^
                      (schedule[i - 15] >> 3);
        uint32_t s1 = rotateRight(schedule[i - 2], 17) ^ rotateRight(schedule[i - 2], 19) ^
                      (schedule[i - 2] >> 10);
        schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
    }
    uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
    uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        uint32_t choice = (e & f) ^ (~e & g);
        uint32_t t1 = h + s1 + choice + roundConstants[i] + schedule[i];
        uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    hash[0] += a;
    hash[1] += b;
    hash[2] += c;
    hash[3] += d;
    hash[4] += e;
    hash[5] += f;
    hash[6] += g;
    hash[7] += h;
}

void sha256Start(Sha256State* state) {
    static const uint32_t initialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(state->hash, initialHash, sizeof initialHash);
    state->blockLength = 0;
    state->totalLength = 0;
}

void sha256Add(Sha256State* state, const uint8_t* bytes, size_t size) {
    state->totalLength += size;
    while (size > 0) {
        size_t room = sizeof state->block - state->blockLength;
        size_t count = size < room ? size : room;
        memcpy(state->block + state->blockLength, bytes, count);
        state->blockLength += static_cast<uint32_t>(count);
        bytes += count;
        size -= count;
        if (state->blockLength == sizeof state->block) {
            compressBlock(state->hash, state->block);
            state->blockLength = 0;
        }
    }
}

void sha256FinishHex(Sha256State* state, char out[SHA256_HEX_SIZE]) {
    uint64_t bitLength = state->totalLength * 8;
    // The padding: one 1 bit, zeros up to 56 bytes into a block, then the length in bits.
    uint8_t padding[72] = {0x80};
    size_t paddingLength = (state->blockLength < 56 ? 56 : 120) - state->blockLength;
    for (int i = 0; i < 8; ++i) {
        padding[paddingLength + i] = static_cast<uint8_t>(bitLength >> (56 - 8 * i));
    }
    sha256Add(state, padding, paddingLength + 8);
    for (size_t i = 0; i < 8; ++i) {
        snprintf(out + 8 * i, SHA256_HEX_SIZE - 8 * i, "%08x",
                 static_cast<unsigned>(state->hash[i]));
    }
}

void sha256Hex(const uint8_t* bytes, size_t size, char out[SHA256_HEX_SIZE]) {
    Sha256State state;
    sha256Start(&state);
    sha256Add(&state, bytes, size);
    sha256FinishHex(&state, out);
}
