#pragma once

// The inventory of a fleet run: a text file, one printer a line, "ADDRESS[:PORT]" (port 10001
// when left out), optionally followed by blanks and "variant=1" or "variant=2" for a raster
// printer. ADDRESS is an IPv4 address or a host name, which is resolved to its IPv4 address
// once, as the inventory is read: the address is the printer's key from then on. "#" starts a
// comment; blank lines are ignored. Parsing is a function of the text and of the resolver it
// is given, so that a bad inventory is refused before anything is sent to any printer.

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t INVENTORY_DEFAULT_PORT = 10001;
// The largest inventory read: 1 MiB, some forty thousand printers.
constexpr uint32_t INVENTORY_SIZE_LIMIT = 1024 * 1024;

struct InventoryPrinter {
    std::string address; // dotted quad without leading zeros: "10.0.0.7"
    std::string host;    // the host name the line gave instead of an address; empty for none
    uint16_t port = INVENTORY_DEFAULT_PORT;
    int variant = 0; // 1 or 2: the raster printer's firmware entry; 0 when not given
    int line = 0;    // where it was listed, from 1
};

enum InventoryLine {
    INVENTORY_LINE_EMPTY,   // blank, or a comment alone
    INVENTORY_LINE_PRINTER, // *printer is set (all but its line number)
    INVENTORY_LINE_BAD,     // *error says what is wrong with it
};

// One line, without its line end (a trailing carriage return is allowed). A line that names a
// host leaves the address empty.
InventoryLine parseInventoryLine(const std::string& line, InventoryPrinter* printer,
                                 std::string* error);

// Resolves a host name to a dotted quad; false with *error saying why.
typedef bool (*HostResolver)(const std::string& host, std::string* address, std::string* error);

// The whole text, each host name resolved once. False when a line is bad, a host name does not
// resolve or a printer (same address and port) is listed twice, with one entry in *errors for
// each such line, in order: "line 4: ...".
bool parseInventory(const std::string& text, HostResolver resolve,
                    std::vector<InventoryPrinter>* printers, std::vector<std::string>* errors);

// The address text as the inventory takes it: four decimal octets of at most three digits and
// at most 255 each. False for anything else; *canonical is then left alone.
bool canonicalIpv4(const std::string& text, std::string* canonical);
