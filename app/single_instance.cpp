#include "app/single_instance.h"

#include <cstdio>

MarkerHandle instanceMutex = NO_MARKER;
uint32_t m_dwLastError = 0;

static const char INSTANCE_MARKER_NAME[] = "KQ_TOOLS";

static void logLastError(const char* function) {
    char line[256];
    snprintf(line, sizeof line, "%s = m_dwLastError = %X, ERROR_ALREADY_EXISTS = %X", function,
             m_dwLastError, PLATFORM_ERROR_ALREADY_EXISTS);
    debugLog(line);
}

void CreateSingleInstance() {
    debugLog("CreateSingleInstance - Entry");
    PlatformError error = 0;
    instanceMutex = kernelService->createMarker(INSTANCE_MARKER_NAME, &error);
    m_dwLastError = error;
    logLastError("CreateSingleInstance");
}

bool IsAnotherInstanceRunning() {
    debugLog("IsAnotherInstanceRunning - Entry");
    logLastError("IsAnotherInstanceRunning");
    return m_dwLastError == PLATFORM_ERROR_ALREADY_EXISTS;
}

// A second call finds no handle and releases nothing: a stale handle value could by then
// name another object of the process.
void ClearInstanceMutex() {
    debugLog("ClearInstanceMutex - Entry");
    if (instanceMutex != NO_MARKER) {
        kernelService->releaseMarker(instanceMutex);
    }
    instanceMutex = NO_MARKER;
}
