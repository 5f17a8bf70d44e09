// Kernel service on Windows: Sleep, the debugger output stream and a named mutex as the
// single-instance marker.
#include "platform/kernel.h"

#include <windows.h>

static void win32Sleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

static void win32DebugLog(const char* line) {
    OutputDebugStringA(line);
}

// The mutex has no initial owner and default security; nobody waits on it, its existence alone
// is the marker.
static MarkerHandle win32CreateMarker(const char* name, PlatformError* error) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    reportPlatformError(error, GetLastError());
    return reinterpret_cast<MarkerHandle>(mutex);
}

static void win32ReleaseMarker(MarkerHandle marker) {
    CloseHandle(reinterpret_cast<HANDLE>(marker));
}

static const KernelService win32Kernel = {
    win32Sleep,
    win32DebugLog,
    win32CreateMarker,
    win32ReleaseMarker,
};

const KernelService* kernelService = &win32Kernel;
