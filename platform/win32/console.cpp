// Console service on Windows: the console modes of the standard handles, ReadFile on standard
// input, and a console control handler, which the system already calls on a thread of its own.
#include "platform/console.h"

#include "platform/win32/win32_error.h"

#include <windows.h>

static ConsoleInterruptHandler interruptHandler = nullptr;

static HANDLE standardHandle(ConsoleStream stream) {
    static const DWORD handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    return GetStdHandle(handles[stream]);
}

static bool win32IsTerminal(ConsoleStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(standardHandle(stream), &mode) != 0;
}

// Windows 10 version 1511 (build 10586), the first whose console takes control sequences.
static const DWORD VIRTUAL_TERMINAL_BUILD = 10586;

// Whether this Windows is that version or a later one (the manifest's supportedOS lets the
// check see the true version).
static bool windowsHasVirtualTerminal() {
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = 10;
    wanted.dwBuildNumber = VIRTUAL_TERMINAL_BUILD;
    DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_BUILDNUMBER, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_BUILDNUMBER, condition) != 0;
}

// The console's own mode bit says whether it took the setting: an older console refuses it.
// Wine's console takes it on any version it plays and still shows the sequences as text, so
// the version is asked first.
static bool win32EnableEscapes(ConsoleStream stream) {
    HANDLE console = standardHandle(stream);
    DWORD mode = 0;
    if (!windowsHasVirtualTerminal() || !GetConsoleMode(console, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

static bool readInputByte(char* character) {
    DWORD count = 0;
    return ReadFile(GetStdHandle(STD_INPUT_HANDLE), character, 1, &count, nullptr) && count == 1;
}

static bool win32ReadLine(char* buffer, uint32_t size) {
    return assembleConsoleLine(readInputByte, buffer, size);
}

static BOOL WINAPI onConsoleControl(DWORD event) {
    bool keyboard = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    interruptHandler(keyboard ? CONSOLE_INTERRUPT_KEYBOARD : CONSOLE_INTERRUPT_TERMINATE);
    return TRUE;
}

static bool win32WatchInterrupts(ConsoleInterruptHandler handler, PlatformError* error) {
    interruptHandler = handler;
    if (!SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        reportLastError(error);
        return false;
    }
    return true;
}

static const ConsoleService win32Console = {
    .isTerminal = win32IsTerminal,
    .enableEscapes = win32EnableEscapes,
    .readLine = win32ReadLine,
    .watchInterrupts = win32WatchInterrupts,
};

const ConsoleService* consoleService = &win32Console;
