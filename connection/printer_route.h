#pragma once

// The two routes to a printer as one table: the local channel (a USB device path or a parallel
// port) and the TCP socket. A channel opened on either is one value, PrinterChannel, and the
// flash-mode entry and the flash writer work on it through its route's operations: they write
// commands and the image, read the printer's replies and close the channel the same way on both
// routes. What each route opens, reads for identity and judges for readiness stays in its own
// functions (local_discovery.h, device_id_read.h and status.h for the local route, ethernet.h
// over TCP).

#include "platform/designated_only.h"
#include "platform/local_channel.h"
#include "platform/network.h"
#include "platform/platform_error.h"

#include <cstdint>

struct PrinterRoute;

// An open channel to the printer: the route it was opened on, and its handle there (a
// ChannelHandle on the local route, a SocketHandle over TCP).
struct PrinterChannel {
    const PrinterRoute* route;
    intptr_t handle;
};

struct PrinterRoute {
    DesignatedOnly designatedOnly{};

    // One write call. *written is the count the channel accepted, 0 on failure; a failure's
    // error goes to *error (the local channel service's write, or one WriteFileEthernet).
    bool (*write)(PrinterChannel channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                  PlatformError* error);

    // One read of at most *length bytes of a reply; *length is then the count received, which
    // on the local route may be 0 (nothing came in time). Over TCP the read waits at most
    // timeoutMilliseconds (0: the receive bound of ethernetTimeouts); a local channel waits as
    // long as its own time-outs say.
    bool (*readReply)(PrinterChannel channel, uint8_t* buffer, uint32_t* length,
                      uint32_t timeoutMilliseconds);

    // Closes the channel: closePrinterHandle, or closeSocket. The global that holds the same
    // handle (printerHandle, printerSocket) is marked closed, so that nobody closes it twice.
    void (*close)(PrinterChannel channel);
};

extern const PrinterRoute localPrinterRoute;
extern const PrinterRoute ethernetPrinterRoute;

// Writes all size bytes: a channel that takes part of them gets the rest in further calls. A
// call that fails, or that takes nothing, ends it with false and its error in *error (the kind
// PLATFORM_ERROR_STALLED, without a number, when the channel reported none). *accepted, when
// asked for, receives the count the channel took, also when it fails part-way.
bool writeWhole(PrinterChannel channel, const uint8_t* bytes, uint32_t size, uint32_t* accepted,
                PlatformError* error);
