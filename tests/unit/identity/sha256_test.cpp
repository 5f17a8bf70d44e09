#include "identity/firmware_catalogue.h"
#include "identity/firmware_integrity.h"
#include "identity/sha256.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

struct KnownAnswer {
    const char* name;
    std::string input;
    const char* digest;
};

// Published test vectors; the 56-byte message needs a second padding block, the 64-byte
// one fills a block exactly.
static const KnownAnswer knownAnswers[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"one full block", std::string(64, 'a'),
     "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    {"a million a", std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, MatchesKnownAnswers) {
    for (const KnownAnswer& answer : knownAnswers) {
        SCOPED_TRACE(answer.name);
        char digest[SHA256_HEX_SIZE];
        sha256Hex(reinterpret_cast<const uint8_t*>(answer.input.data()), answer.input.size(),
                  digest);
        EXPECT_STREQ(digest, answer.digest);
    }
}

TEST(Sha256, GivesTheSameDigestWhenTheBytesArriveInPieces) {
    std::string input(1000, 'x');
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<char>(i * 7);
    }
    char whole[SHA256_HEX_SIZE];
    sha256Hex(reinterpret_cast<const uint8_t*>(input.data()), input.size(), whole);
    for (size_t piece : {1u, 63u, 64u, 65u, 512u}) {
        SCOPED_TRACE(piece);
        Sha256State state;
        sha256Start(&state);
        for (size_t at = 0; at < input.size(); at += piece) {
            size_t count = std::min(piece, input.size() - at);
            sha256Add(&state, reinterpret_cast<const uint8_t*>(input.data()) + at, count);
        }
        char pieces[SHA256_HEX_SIZE];
        sha256FinishHex(&state, pieces);
        EXPECT_STREQ(pieces, whole);
    }
}

TEST(FirmwareIntegrity, EverySlotHoldsTheImageTheBuildRecorded) {
    for (int slot = 0; slot < FIRMWARE_SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_TRUE(firmwareImageIntact(slot));
    }
}

TEST(FirmwareIntegrity, DetectsOneFlippedByte) {
    for (int slot : {0, 13}) {
        SCOPED_TRACE(slot);
        uint8_t& last = FirmwareCatalogue[slot].bytes[firmwareBuildRecords[slot].size - 1];
        last ^= 0x01;
        EXPECT_FALSE(firmwareImageIntact(slot));
        last ^= 0x01;
        EXPECT_TRUE(firmwareImageIntact(slot));
    }
}

TEST(FirmwareIntegrity, RefusesASlotOutsideTheCatalogue) {
    EXPECT_FALSE(firmwareImageIntact(-1));
    EXPECT_FALSE(firmwareImageIntact(FIRMWARE_SLOT_COUNT));
}
