#pragma once

// Process service: this same program started again as a child process, and followed to its
// end. A fleet run works on each printer through a child of its own, so that one printer's
// fault, hang or crash stays in that child.
//
// The child's standard input is the null device and its standard output and standard error are
// pipes that the parent reads without waiting. The child runs in a process group of its own, so
// that the terminal's Ctrl-C (and the hang-up of a closed terminal) reaches the parent alone:
// the parent decides which children to interrupt. A child outlives its parent: once the parent
// has gone, its writes to the pipes fail and it goes on (on Linux the parent and the children
// ignore SIGPIPE for that).

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// A started child, carried as an integer.
typedef intptr_t ChildHandle;
constexpr ChildHandle NO_CHILD = 0;

enum ChildStream {
    CHILD_OUTPUT, // its standard output
    CHILD_ERRORS, // its standard error
};

// readChild's result when the child has closed the stream and everything was read.
constexpr int32_t CHILD_STREAM_ENDED = -1;

// The exit code childEnded reports for a child that did not end by itself (killed by a signal,
// or the code could not be read).
constexpr int CHILD_EXIT_ABNORMAL = -1;

struct ProcessService {
    DesignatedOnly designatedOnly{};

    // Starts this program's own executable with the arguments (a null-terminated list that
    // leaves out the program's name). NO_CHILD, with the error in *error, when it could
    // not be started.
    ChildHandle (*startSelf)(const char* const* arguments, PlatformError* error);

    // Copies what the child has written on the stream and nobody read yet into buffer, at most
    // size bytes, without waiting: the number of bytes, 0 when nothing is there at the moment,
    // CHILD_STREAM_ENDED at the end of the stream.
    int32_t (*readChild)(ChildHandle child, ChildStream stream, char* buffer, uint32_t size);

    // Whether the child has ended, without waiting; its exit code into *exitCode when it has.
    bool (*childEnded)(ChildHandle child, int* exitCode);

    // Asks the child to stop as Ctrl-C on its terminal would: SIGINT, or CTRL_BREAK_EVENT.
    // False when the request could not be sent (on Windows, when this process has no console
    // that the child shares).
    bool (*interruptChild)(ChildHandle child);

    // Lets go of the handle and the child's pipes. A child that still runs goes on running.
    void (*releaseChild)(ChildHandle child);
};

extern const ProcessService* processService;
