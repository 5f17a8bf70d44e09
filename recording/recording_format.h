#pragma once

// The recording of a session with a printer: one JSON object per line. The first line names
// the format and the tool's version:
//
//   {"recording":"ticketflash","format":1,"version":"0.1.0"}
//
// Every other line is one operation on a channel to the printer, as the tool saw it:
//
//   "t"       seconds since the recording started
//   "route"   "tcp" or "local"
//   "conn"    the conversation: each open or connect starts a new one, numbered from 1
//   "op"      "open", "connect", "write", "read", "device-id", "image" or "close"
//   "dir"     "out" (write, image), "in" (read, device-id) or "ctl" (open, connect, close)
//   "ok"      the operation's result; "error" the system's error number when it failed (0
//             when the tool decided the failure itself, a time-out of its own wait)
//   "size"    bytes offered (write) or asked for (read, device-id); "count" bytes moved
//   "bytes"   the bytes moved, as hexadecimal digits
//   "path"    the device path of an open; "port" the TCP port of a connect
//   "image"   true on a write of the image that failed or was cut short
//   "sha256"  on the image line: the SHA-256 of the "count" image bytes the printer took
//
// On TCP a read of "count" 0 that is "ok" means the printer closed the connection.
//
// The image itself is never stored: once the printer has answered "FLASH READY", every later
// write on that channel is image and only counted and hashed; the "image" line comes just
// before the channel's "close". A recording holds the printer's traffic and nothing else: no
// address, no user, no machine name.

#include <cstdint>

constexpr int RECORDING_FORMAT = 1;
constexpr const char RECORDING_MARKER[] = "ticketflash";

enum RecordedRoute {
    RECORDED_ROUTE_TCP,
    RECORDED_ROUTE_LOCAL,
    RECORDED_ROUTE_COUNT,
};

enum RecordedOp {
    RECORDED_OP_OPEN,
    RECORDED_OP_CONNECT,
    RECORDED_OP_WRITE,
    RECORDED_OP_READ,
    RECORDED_OP_DEVICE_ID,
    RECORDED_OP_IMAGE,
    RECORDED_OP_CLOSE,
    RECORDED_OP_COUNT,
};

constexpr const char* RECORDED_ROUTE_NAMES[RECORDED_ROUTE_COUNT] = {"tcp", "local"};
constexpr const char* RECORDED_OP_NAMES[RECORDED_OP_COUNT] = {
    "open", "connect", "write", "read", "device-id", "image", "close"};

// The direction each operation is recorded with.
constexpr const char* recordedDirection(RecordedOp op) {
    return op == RECORDED_OP_WRITE || op == RECORDED_OP_IMAGE      ? "out"
           : op == RECORDED_OP_READ || op == RECORDED_OP_DEVICE_ID ? "in"
                                                                   : "ctl";
}
