#include "platform/state_files.h"

#include <cstdlib>
#include <cstring>

static const char* nonEmptyEnvironment(const char* variable) {
    const char* value = getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

const char* chosenStateFolder() {
    const char* chosen = nonEmptyEnvironment("TICKETFLASH_STATE_DIR");
    // The older name, which scripts of earlier versions set.
    return chosen != nullptr ? chosen : nonEmptyEnvironment("TICKETFLASH_JOURNAL_DIR");
}

// A separator of either system: '\' and a drive's ':' name another folder on Windows.
bool plainStateFileName(const char* name) {
    return name != nullptr && name[0] != '\0' && strpbrk(name, "/\\:") == nullptr &&
           strstr(name, "..") == nullptr && strcmp(name, ".") != 0;
}
