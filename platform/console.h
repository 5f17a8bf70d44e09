#pragma once

// Console service: what a command-line front end asks of the terminal it runs in. Whether a
// standard stream is a terminal (live progress and questions need one), one typed line of
// standard input, and the interrupt requests (Ctrl-C and termination) delivered as calls of a
// handler rather than as an abrupt end, so that the front end can refuse them or end its run
// through the dialog's exit sequence.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

enum ConsoleStream {
    CONSOLE_INPUT,
    CONSOLE_OUTPUT,
    CONSOLE_ERROR,
};

// What asked the program to stop.
enum ConsoleInterrupt {
    CONSOLE_INTERRUPT_KEYBOARD,  // Ctrl-C (SIGINT; CTRL_C_EVENT or CTRL_BREAK_EVENT)
    CONSOLE_INTERRUPT_TERMINATE, // SIGTERM or SIGHUP; the console window closed or the session ends
};

typedef void (*ConsoleInterruptHandler)(ConsoleInterrupt interrupt);

struct ConsoleService {
    DesignatedOnly designatedOnly{};

    // Whether the stream is attached to a terminal (a console on Windows).
    bool (*isTerminal)(ConsoleStream stream);

    // Makes a terminal stream take the ANSI control sequences (the line erase, cursor moves)
    // as controls, and says whether it now does: on Windows by the console's virtual terminal
    // processing, which Windows before 10 version 1511 lacks (its console would print the
    // sequence as text); a Linux terminal always does. False for a stream that is no terminal.
    bool (*enableEscapes)(ConsoleStream stream);

    // Reads one line from standard input into buffer (size bytes, always terminated), without
    // its line end; a longer line is cut and the rest of it dropped. Blocks until the line is
    // complete. False at the end of the input or on a failure.
    bool (*readLine)(char* buffer, uint32_t size);

    // From now on every interrupt calls handler, one at a time, on a thread of the service's
    // own, and no longer ends the process by itself; and a write to a standard stream whose
    // reader has gone fails instead of ending the process (SIGPIPE ignored on Linux; Windows
    // raises nothing for it). Must be called once, before the program
    // starts any other thread (on Linux the signals are blocked in the calling thread and every
    // thread it creates later, and received by the service's thread alone).
    bool (*watchInterrupts)(ConsoleInterruptHandler handler, PlatformError* error);
};

extern const ConsoleService* consoleService;

// For the backends: assembles one line for readLine from single bytes that readByte delivers
// (false at the end of the input or on a failure), with the contract of readLine.
bool assembleConsoleLine(bool (*readByte)(char* byte), char* buffer, uint32_t size);
