#pragma once

// What the program and the printer say to each other, in one place: the commands sent on each
// route and the reply that tells flash mode has been entered. The conversations themselves are
// in connection/ (device id and status) and flash/ (flash-mode entry); the printer simulator in
// sim/ answers the same bytes, and the recorder in recording/ finds the flash reply in them.

#include <cstdint>
#include <string_view>

// Over TCP: the device id and status requests, plain ASCII with no terminator.
constexpr uint8_t DEVICE_ID_REQUEST[] = {'<', 'S', 'A', '0', '8', '>'};
constexpr uint8_t STATUS_REQUEST[] = {'<', 'S', 'S', '>'};

// Flash-mode entry: the request (both routes), then the route's confirming command.
constexpr uint8_t FLASH_MODE_REQUEST[] = {0x1B, '*', 'F', 'R'};
constexpr uint8_t FLASH_CONFIRM_LOCAL[] = {0x1B, 'I', 'A', 0x0F};
constexpr uint8_t FLASH_CONFIRM_ETHERNET[] = {'<', 'S', 'A', '1', '5', '>'};

// A parallel port wants this one byte after the confirming command to release its reply.
constexpr uint8_t PARALLEL_TRAILER[] = {0x00};

// The reply to the confirming command that says the printer is in flash mode, found anywhere
// in the bytes received.
constexpr std::string_view FLASH_READY_MARKER = "FLASH READY";

// The bytes of a command as a text, for tables and logs.
template <size_t N> constexpr std::string_view commandText(const uint8_t (&command)[N]) {
    return std::string_view(reinterpret_cast<const char*>(command), N);
}
