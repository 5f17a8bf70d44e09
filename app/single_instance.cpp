#include "app/single_instance.h"

#include <cstdio>

MarkerHandle instanceMutex = NO_MARKER;
uint32_t m_dwLastError = 0;
PlatformError instanceMarkerError;

static void logLastError(const char* function) {
    char line[256];
    snprintf(line, sizeof line, "%s = m_dwLastError = %X, ERROR_ALREADY_EXISTS = %X", function,
             m_dwLastError, INSTANCE_MARKER_EXISTS_CODE);
    debugLog(line);
}

void CreateSingleInstance() {
    debugLog("CreateSingleInstance - Entry");
    PlatformError error;
    instanceMutex = kernelService->createMarker(INSTANCE_MARKER_NAME, &error);
    instanceMarkerError = error;
    m_dwLastError =
        error.kind == PLATFORM_ERROR_ALREADY_EXISTS ? INSTANCE_MARKER_EXISTS_CODE : error.number;
    logLastError("CreateSingleInstance");
}

bool IsAnotherInstanceRunning() {
    debugLog("IsAnotherInstanceRunning - Entry");
    logLastError("IsAnotherInstanceRunning");
    return m_dwLastError == INSTANCE_MARKER_EXISTS_CODE;
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
