// Kernel service on Windows: Sleep, the debugger output stream, a named mutex as the
// single-instance marker, and CreateThread for worker threads.
#include "platform/kernel.h"

#include "platform/win32/win32_error.h"

#include <cstdio>
#include <new>
#include <windows.h>

static void win32Sleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

static void win32DebugLog(const char* line) {
    OutputDebugStringA(line);
}

// Any debugger or viewer may be listening to the debugger output stream.
static bool win32DebugLogWanted() {
    return true;
}

// The mutex has no initial owner and default security; nobody waits on it, its existence alone
// is the marker.
static MarkerHandle win32CreateMarker(const char* name, PlatformError* error) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    DWORD number = GetLastError();
    bool created = mutex != nullptr && number != ERROR_ALREADY_EXISTS;
    reportPlatformError(error, created ? PlatformError{} : win32Error(number));
    return reinterpret_cast<MarkerHandle>(mutex);
}

static void win32ReleaseMarker(MarkerHandle marker) {
    CloseHandle(reinterpret_cast<HANDLE>(marker));
}

// A mutex tells nobody who holds it: only its name is known.
static void win32MarkerHolder(const char* name, MarkerHolder* holder) {
    *holder = MarkerHolder{};
    snprintf(holder->place, sizeof holder->place, "the mutex %s", name);
}

struct WorkerStart {
    ThreadBody body;
    void* argument;
};

static DWORD WINAPI runWorker(LPVOID start) {
    WorkerStart work = *static_cast<WorkerStart*>(start);
    delete static_cast<WorkerStart*>(start);
    work.body(work.argument);
    return 0;
}

// The stack size is a reservation, so the worker gets exactly the address space asked for
// rather than the executable's default reservation with that much committed. Its handle is
// closed at once: nobody waits for a worker.
static bool win32StartThread(ThreadBody body, void* argument, uint32_t stackBytes,
                             PlatformError* error) {
    WorkerStart* start = new (std::nothrow) WorkerStart{body, argument};
    if (start == nullptr) {
        reportPlatformError(error, win32Error(ERROR_NOT_ENOUGH_MEMORY));
        return false;
    }
    HANDLE thread = CreateThread(nullptr, stackBytes, runWorker, start,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        reportLastError(error);
        delete start;
        return false;
    }
    // A refused priority leaves the worker at normal priority, which only makes it slower.
    SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    CloseHandle(thread);
    return true;
}

static const KernelService win32Kernel = {
    .sleep = win32Sleep,
    .debugLog = win32DebugLog,
    .debugLogWanted = win32DebugLogWanted,
    .createMarker = win32CreateMarker,
    .releaseMarker = win32ReleaseMarker,
    .markerHolder = win32MarkerHolder,
    .startThread = win32StartThread,
};

const KernelService* kernelService = &win32Kernel;
