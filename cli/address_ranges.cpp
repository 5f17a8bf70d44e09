#include "cli/address_ranges.h"

#include "cli/fleet_inventory.h"

#include <algorithm>
#include <cstdio>

namespace {

// The lowest address of multicast; from there up nothing is a printer.
constexpr uint32_t FIRST_MULTICAST = 0xE0000000;
// 0.0.0.0/8 means "this network", never a host.
constexpr uint32_t FIRST_HOST = 0x01000000;
// Blocks larger than this have a network and a broadcast address that no host holds.
constexpr int LAST_PREFIX_WITH_BROADCAST = 30;

std::string quoted(const std::string& text) {
    std::string result = "\"";
    result.append(text);
    result.push_back('"');
    return result;
}

// The address as a number; the inventory's reading of a dotted quad decides what is one.
bool parseAddress(const std::string& text, uint32_t* address) {
    std::string canonical;
    unsigned octets[4] = {};
    if (!canonicalIpv4(text, &canonical) || sscanf(canonical.c_str(), "%u.%u.%u.%u", &octets[0],
                                                   &octets[1], &octets[2], &octets[3]) != 4) {
        return false;
    }
    *address = (octets[0] << 24) | (octets[1] << 16) | (octets[2] << 8) | octets[3];
    return true;
}

bool parsePrefix(const std::string& text, int* prefix) {
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > 32) {
        return false;
    }
    *prefix = std::stoi(text);
    return true;
}

bool parseBlock(const std::string& text, size_t slash, AddressRange* range, std::string* error) {
    uint32_t base = 0;
    int prefix = 0;
    if (!parseAddress(text.substr(0, slash), &base) ||
        !parsePrefix(text.substr(slash + 1), &prefix)) {
        *error = quoted(text) + " is not a CIDR block (A.B.C.D/N, N from 0 to 32)";
        return false;
    }
    uint32_t hostBits = prefix == 0 ? 0xFFFFFFFF : (uint32_t{1} << (32 - prefix)) - 1;
    if ((base & hostBits) != 0) {
        *error = quoted(text) + " has host bits set; the block is " +
                 addressText(base & ~hostBits) + "/" + std::to_string(prefix);
        return false;
    }
    *range = {base, base | hostBits};
    if (prefix <= LAST_PREFIX_WITH_BROADCAST) {
        *range = {range->first + 1, range->last - 1};
    }
    return true;
}

// "10.0.4.10-10.0.4.50", or "10.0.4.10-50": the last octet alone stands for the first's
// address with that last octet.
bool parseSpan(const std::string& text, size_t dash, AddressRange* range, std::string* error) {
    std::string lastText = text.substr(dash + 1);
    uint32_t first = 0;
    uint32_t last = 0;
    bool parsed = parseAddress(text.substr(0, dash), &first);
    if (parsed && lastText.find('.') == std::string::npos) {
        std::string firstText = addressText(first);
        parsed = parseAddress(firstText.substr(0, firstText.rfind('.') + 1) + lastText, &last);
    } else {
        parsed = parsed && parseAddress(lastText, &last);
    }
    if (!parsed) {
        *error = quoted(text) + " is not a range of addresses (A.B.C.D-A.B.C.D or A.B.C.D-D)";
        return false;
    }
    if (last < first) {
        *error = quoted(text) + ": its last address comes before its first";
        return false;
    }
    *range = {first, last};
    return true;
}

bool parseShape(const std::string& text, AddressRange* range, std::string* error) {
    size_t slash = text.find('/');
    size_t dash = text.find('-');
    if (slash != std::string::npos && dash == std::string::npos) {
        return parseBlock(text, slash, range, error);
    }
    if (dash != std::string::npos && slash == std::string::npos) {
        return parseSpan(text, dash, range, error);
    }
    uint32_t address = 0;
    if (slash != std::string::npos || !parseAddress(text, &address)) {
        *error =
            quoted(text) + " is not an address or a range (A.B.C.D, A.B.C.D/N or A.B.C.D-A.B.C.D)";
        return false;
    }
    *range = {address, address};
    return true;
}

} // namespace

std::string addressText(uint32_t address) {
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
             (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

bool parseAddressRange(const std::string& text, AddressRange* range, std::string* error) {
    AddressRange parsed{};
    if (!parseShape(text, &parsed, error)) {
        return false;
    }
    if (parsed.first < FIRST_HOST || parsed.last >= FIRST_MULTICAST) {
        *error = quoted(text) +
                 " reaches addresses no printer has (0.0.0.0/8, or multicast and above from "
                 "224.0.0.0)";
        return false;
    }
    *range = parsed;
    return true;
}

uint64_t addressCount(const std::vector<AddressRange>& ranges) {
    uint64_t count = 0;
    for (const AddressRange& range : ranges) {
        count += uint64_t{range.last} - range.first + 1;
    }
    return count;
}

bool parseAddressRanges(const std::vector<std::string>& texts, uint64_t limit,
                        std::vector<AddressRange>* ranges, std::string* error) {
    std::vector<AddressRange> parsed;
    for (const std::string& text : texts) {
        AddressRange range{};
        if (!parseAddressRange(text, &range, error)) {
            return false;
        }
        parsed.push_back(range);
    }
    std::sort(parsed.begin(), parsed.end(),
              [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
    std::vector<AddressRange> merged;
    for (const AddressRange& range : parsed) {
        if (!merged.empty() && uint64_t{range.first} <= uint64_t{merged.back().last} + 1) {
            merged.back().last = std::max(merged.back().last, range.last);
        } else {
            merged.push_back(range);
        }
    }
    if (addressCount(merged) > limit) {
        *error = "the ranges hold " + std::to_string(addressCount(merged)) +
                 " addresses, more than the " + std::to_string(limit) +
                 " one run looks at; narrow them, or raise the limit with --max-addresses";
        return false;
    }
    *ranges = merged;
    return true;
}
