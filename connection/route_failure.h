#pragma once

// What the last search or connection tried and why it reached no printer, and the status reply
// of the last printer whose readiness was judged: the causes that the dialog's own texts ("Did
// not find printer", "Printer NOT ready") leave out, for the command line, the JSON and the log.

#include "platform/local_channel.h"
#include "platform/platform_error.h"

#include <cstdint>

// A failure the system gave a reason for: the device path ("/dev/usb/lp0") or the address
// ("A.B.C.D:PORT") tried, and the system's error. Empty (target "", error 0) when nothing was
// tried that could say why: no device listed, or only the fixed table's absent units.
struct RouteFailure {
    char target[LISTED_DEVICE_PATH_SIZE];
    PlatformError error;
};
extern RouteFailure routeFailure;

// Forgets the failure and the kept status reply: a probe starts knowing neither.
void clearRouteFailure();
void noteRouteFailure(const char* target, PlatformError error);

// The last status reply judged, as it came (cut to the buffer).
constexpr uint32_t KEPT_STATUS_REPLY_SIZE = 16;
extern uint8_t lastStatusReply[KEPT_STATUS_REPLY_SIZE];
extern uint32_t lastStatusReplyLength;

// Keeps the status reply that is about to be judged.
void keepStatusReply(const uint8_t* reply, uint32_t length);
