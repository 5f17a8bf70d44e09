#pragma once

// What the fuzz targets share: the program's services made quiet, and a printer whose every
// answer, on either route, is the next piece of the fuzz input.

#include <cstddef>
#include <cstdint>
#include <vector>

// Waits, diagnostic lines and message boxes cost nothing; a worker thread is "started" without
// running, so that a flash writer never runs inside a target; state files are kept nowhere
// (reads find none). Every other operation stays the program's own. Installed once.
void installQuietServices();

// For the targets whose first input byte picks a route: installs the quiet services (once)
// and splits the input into that byte and the reply after it. False for an empty input.
bool splitRouteAndReply(const uint8_t* data, size_t size, uint8_t* route,
                        std::vector<uint8_t>* reply);

// Installs local channel and network services over the pieces: each read, receive or
// device-id request returns the next piece (cut to the size asked for); writes and sends take
// everything. When the pieces are used up, a local read returns nothing and a receive fails.
// An empty piece is an empty local read and a failed receive.
void installScriptedPrinter(const std::vector<std::vector<uint8_t>>& pieces);

// Everything the reads, receives and device-id requests delivered since the printer was
// installed, one piece after the other.
const std::vector<uint8_t>& deliveredBytes();
