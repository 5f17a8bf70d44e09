#include "platform/state_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char* nonEmptyEnvironment(const char* variable) {
    const char* value = getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The folder the environment chose, or null when neither variable is set to a text.
static const char* chosenStateFolder() {
    const char* chosen = nonEmptyEnvironment("TICKETFLASH_STATE_DIR");
    // The older name, which scripts of earlier versions set.
    return chosen != nullptr ? chosen : nonEmptyEnvironment("TICKETFLASH_JOURNAL_DIR");
}

// A separator of either system: '\' and a drive's ':' name another folder on Windows.
bool plainStateFileName(const char* name) {
    return name != nullptr && name[0] != '\0' && strpbrk(name, "/\\:") == nullptr &&
           strstr(name, "..") == nullptr && strcmp(name, ".") != 0;
}

static bool fits(int length, size_t size) {
    return length > 0 && static_cast<size_t>(length) < size;
}

bool statePath(const char* name, const char* suffix, char* folder, char* path, size_t size,
               PlatformError* error) {
    if (!plainStateFileName(name)) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return false;
    }
    const char* chosen = chosenStateFolder();
    bool found = chosen != nullptr ? fits(snprintf(folder, size, "%s", chosen), size)
                                   : systemStateFolder(folder, size);
    if (!found ||
        !fits(snprintf(path, size, "%s%c%s%s", folder, STATE_PATH_SEPARATOR, name, suffix), size)) {
        reportPlatformError(error, {PLATFORM_ERROR_TOO_LARGE, 0});
        return false;
    }
    return true;
}

// Paths as long as any backend takes.
static const size_t SHOWN_PATH_SIZE = 4096;

void showStatePath(const char* name, char* path, uint32_t size) {
    char folder[SHOWN_PATH_SIZE];
    char full[SHOWN_PATH_SIZE];
    const char* shown = statePath(name, "", folder, full, sizeof full, nullptr) ? full : name;
    if (size > 0) {
        snprintf(path, size, "%s", shown);
    }
}
