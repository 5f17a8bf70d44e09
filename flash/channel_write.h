#pragma once

// Writing to the printer's channel on either route: one write call, and a whole buffer written
// however many calls the channel needs. Used by the flash mode entry for its commands and by
// the flash writer for the image.

#include "platform/platform_error.h"

#include <cstdint>

// One write call on an open channel of a route (a ChannelHandle or a SocketHandle, both carried
// as integers). *written is the count the channel accepted, 0 on failure.
typedef bool (*ChannelWrite)(intptr_t channel, const uint8_t* bytes, uint32_t size,
                             uint32_t* written, PlatformError* error);

// The local route: the local channel service's write.
bool writeLocalChannel(intptr_t channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                       PlatformError* error);

// The Ethernet route: one WriteFileEthernet.
bool writeEthernetChannel(intptr_t channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                          PlatformError* error);

// Writes all size bytes: a channel that takes part of them gets the rest in further calls. A
// call that fails, or that takes nothing, ends it with false and its error in *error (the kind
// PLATFORM_ERROR_STALLED, without a number, when the channel reported none). *accepted, when
// asked for, receives the count the channel took, also when it fails part-way.
bool writeWhole(ChannelWrite write, intptr_t channel, const uint8_t* bytes, uint32_t size,
                uint32_t* accepted, PlatformError* error);
