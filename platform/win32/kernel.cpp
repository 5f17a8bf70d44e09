// Kernel service on Windows: Sleep and the debugger output stream.
#include "platform/kernel.h"

#include <windows.h>

static void win32Sleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

static void win32DebugLog(const char* line) {
    OutputDebugStringA(line);
}

static const KernelService win32Kernel = {
    win32Sleep,
    win32DebugLog,
};

const KernelService* kernelService = &win32Kernel;
