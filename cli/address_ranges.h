#pragma once

// The addresses ticketflash discover looks at, as the user writes them: a CIDR block
// ("10.0.4.0/24"), a first and a last address ("10.0.4.10-10.0.4.50", or "10.0.4.10-50" within
// the first's last octet), or one address ("10.0.4.7"). A block names its hosts: up to a /30
// its first (the network) and last (the broadcast) address are left out, a /31 or /32 keeps
// both. Parsing is strict and a pure function of the texts: a bad range is refused before any
// address is tried, with the text and what is wrong with it.

#include "connection/network_discovery.h"

#include <cstdint>
#include <string>
#include <vector>

// How many addresses one run looks at unless told more: a /20.
constexpr uint32_t DISCOVER_DEFAULT_ADDRESS_LIMIT = 4096;

// One range as written. False, with *error naming the text, for anything else: a block whose
// host bits are set, a last address before the first, and any range that reaches an address
// no printer can have (0.0.0.0/8, multicast and above from 224.0.0.0).
bool parseAddressRange(const std::string& text, AddressRange* range, std::string* error);

// Every range, sorted and merged where they overlap or meet, so that each address is tried
// once. False at the first bad range, or when together they hold more than limit addresses.
bool parseAddressRanges(const std::vector<std::string>& texts, uint64_t limit,
                        std::vector<AddressRange>* ranges, std::string* error);

// How many addresses the ranges hold.
uint64_t addressCount(const std::vector<AddressRange>& ranges);

// "10.0.4.7"
std::string addressText(uint32_t address);
