#pragma once

// The bytes exchanged with a printer, as the diagnostic log shows them on every route, and the
// local channel's reads and writes, which log what they carry and why they fail.
//
// A piece of traffic is one line "<what> <count> bytes: <bytes>", where a printable character
// stands for itself, a backslash is doubled and any other byte is written \xHH; data longer than
// the line shows ends in " ... <n> more". Nothing is composed when the log goes nowhere.

#include "platform/local_channel.h"

#include <cstdint>

// The most bytes one line shows; each takes at most four characters of the 1024-byte line.
constexpr uint32_t PRINTER_TRAFFIC_SHOWN = 192;

// The TCP status and data replies keep a form of their own that technicians' tools read: one
// line per byte in upper-case hexadecimal, "%X " after "Status Length = <n>, Data = " and "%X"
// between the frame lines of a data read.
void logEachByte(const uint8_t* bytes, uint32_t count, bool withBlank);

// Logs one piece of traffic. what names it ("isPrinterReadyEthernet - reply"), a constant of
// the program; shown bounds the bytes written out (at most PRINTER_TRAFFIC_SHOWN).
void logPrinterTraffic(const char* what, const uint8_t* bytes, uint32_t count,
                       uint32_t shown = PRINTER_TRAFFIC_SHOWN);

// The local channel service's read and write, as the program uses them: the bytes that came or
// went are logged ("readPrinterHandle - reply", "writePrinterHandle - wrote"; a write shows only
// its first bytes, so that an image costs a short line a block), a failure with its error
// described. The write's error goes to *error as well (error may be null): the flash writer
// shows its number.
bool readPrinterHandle(ChannelHandle handle, uint8_t* buffer, uint32_t size, uint32_t* received);
bool writePrinterHandle(ChannelHandle handle, const uint8_t* bytes, uint32_t size,
                        uint32_t* written, PlatformError* error);
