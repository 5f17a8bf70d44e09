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
    if (subject == nullptr) {
        debugLogFormat("%s failed: error %u", operation, error);
    } else {
        debugLogFormat("%s %s failed: error %u", operation, subject, error);
    }
}
