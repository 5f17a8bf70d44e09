#include "platform/platform_error.h"

#include <cstdio>

static const char* const KIND_WORDS[] = {
    "no error",
    "no such device",
    "permission denied",
    "in use by another",
    "connection refused",
    "timed out",
    "printer unreachable",
    "connection reset by the printer",
    "the printer took nothing",
    "not supported",
    "invalid request",
    "too large",
    "no space left",
    "system error",
};
static_assert(sizeof KIND_WORDS / sizeof KIND_WORDS[0] == PLATFORM_ERROR_OTHER + 1,
              "every kind has its words");

void describePlatformError(PlatformError error, char* text, size_t size) {
    const char* words = error.kind <= PLATFORM_ERROR_OTHER ? KIND_WORDS[error.kind]
                                                           : KIND_WORDS[PLATFORM_ERROR_OTHER];
    if (error.number == 0) {
        snprintf(text, size, "%s", words);
    } else {
        snprintf(text, size, "%s (%u)", words, error.number);
    }
}

const char* platformErrorKindName(PlatformErrorKind kind) {
    static const char* const names[] = {
        "none",        "not-found", "permission-denied", "already-exists", "refused", "timed-out",
        "unreachable", "closed",    "stalled",           "not-supported",  "invalid", "too-large",
        "no-space",    "other",
    };
    static_assert(sizeof names / sizeof names[0] == PLATFORM_ERROR_OTHER + 1,
                  "every kind has its name");
    return kind <= PLATFORM_ERROR_OTHER ? names[kind] : names[PLATFORM_ERROR_OTHER];
}
