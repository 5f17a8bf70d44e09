#pragma once

// Looking for printers over TCP at the addresses the user named, many at once: each address gets
// one connect with a bound and, once connected, the device id request ("<SA08>", which changes
// nothing on a printer) and its one reply, then the connection is closed. Nothing else reaches
// any address, and no address outside the ranges given is ever tried.
//
// The scan runs on worker threads of its own (at most jobs of them, each trying one address
// after the other) and blocks its caller until every address was tried. Memory stays bounded
// whatever the ranges: addresses are taken from the ranges one at a time, and only those that
// accepted a connection are handed on.

#include "identity/printer_data.h"
#include "platform/platform_error.h"

#include <cstddef>
#include <cstdint>

// A range of IPv4 addresses, first to last inclusive, as numbers (10.0.0.1 is 0x0A000001).
struct AddressRange {
    uint32_t first;
    uint32_t last;
};

// An address that accepted the connection, and what it answered to the device id request.
struct AnsweringAddress {
    uint32_t address;
    bool replied; // a reply came; deviceId holds it up to its first zero byte
    char deviceId[PRINTER_TEXT_SIZE];
};

struct NetworkScan {
    const AddressRange* ranges;
    size_t rangeCount;
    uint16_t port;
    uint32_t jobs; // how many addresses are tried at once, at least 1
    uint32_t connectMilliseconds;
    // Called for each answering address, on the worker thread that tried it, one call at a time.
    void (*answered)(const AnsweringAddress& answer, void* context);
    void* context;
};

// What the scan could not do: addresses that were never tried because no socket could be made
// for them, with the first such error.
struct ScanShortfall {
    uint64_t untried = 0;
    PlatformError firstError;
};

// Tries every address of the ranges. False, with the error, when not one worker thread could be
// started (then no address was tried); otherwise true once all were tried, with what could not
// be tried in *shortfall. The socket library must be started.
bool scanNetwork(const NetworkScan& scan, ScanShortfall* shortfall, PlatformError* error);
