// Console service on Windows: the console modes of the standard handles, ReadFile on standard
// input, and a console control handler, which the system already calls on a thread of its own.
#include "platform/console.h"

#include "platform/win32/win32_error.h"

#include <windows.h>

static ConsoleInterruptHandler interruptHandler = nullptr;

static bool win32IsTerminal(ConsoleStream stream) {
    static const DWORD handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(handles[stream]), &mode) != 0;
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
    .readLine = win32ReadLine,
    .watchInterrupts = win32WatchInterrupts,
};

const ConsoleService* consoleService = &win32Console;
