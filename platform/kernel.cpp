#include "platform/kernel.h"

#include <cstdarg>
#include <cstdio>

void debugLogFormat(const char* format, ...) {
    if (!kernelService->debugLogWanted()) {
        return;
    }
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    debugLog(line);
}

void debugLogFailure(const char* operation, const char* subject, PlatformError error) {
    char description[PLATFORM_ERROR_TEXT_SIZE];
    describePlatformError(error, description, sizeof description);
    if (subject == nullptr) {
        debugLogFormat("%s failed: %s", operation, description);
    } else {
        debugLogFormat("%s %s failed: %s", operation, subject, description);
    }
}
