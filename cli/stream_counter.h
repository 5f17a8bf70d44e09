#pragma once

// Counts the image bytes a printer accepted during an upgrade: the network and local channel
// services are wrapped once at start, and from the moment the flash writer owns its channel
// every byte accepted on that channel is counted, until the writer closes it.

#include "platform/local_channel.h"
#include "platform/network.h"

#include <cstdint>

// Installs the counting wrappers over the services in force.
void installStreamCounter();

// Counts from now on what is written on this socket or this local channel (the other one
// INVALID_...), starting from 0.
void countStreamOn(SocketHandle socket, ChannelHandle channel);

// The bytes counted so far.
uint64_t streamedBytes();
