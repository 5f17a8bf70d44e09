#pragma once

// The inventory of a fleet run: a text file, one printer a line, "ADDRESS[:PORT]" (port 10001
// when left out), optionally followed by blanks and "variant=1" or "variant=2" for a raster
// printer. "#" starts a comment; blank lines are ignored. Parsing is a pure function of the
// text, so that a bad inventory is refused before anything is sent to any printer.

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t INVENTORY_DEFAULT_PORT = 10001;
// The largest inventory read: 1 MiB, some forty thousand printers.
constexpr uint32_t INVENTORY_SIZE_LIMIT = 1024 * 1024;

struct InventoryPrinter {
    std::string address; // dotted quad without leading zeros: "10.0.0.7"
    uint16_t port = INVENTORY_DEFAULT_PORT;
    int variant = 0; // 1 or 2: the raster printer's firmware entry; 0 when not given
    int line = 0;    // where it was listed, from 1
};

enum InventoryLine {
    INVENTORY_LINE_EMPTY,   // blank, or a comment alone
    INVENTORY_LINE_PRINTER, // *printer is set (all but its line number)
    INVENTORY_LINE_BAD,     // *error says what is wrong with it
};

// One line, without its line end (a trailing carriage return is allowed).
InventoryLine parseInventoryLine(const std::string& line, InventoryPrinter* printer,
                                 std::string* error);

// The whole text. False at the first bad line or the second mention of a printer (same address
// and port), with *error naming the line: "line 4: ...".
bool parseInventory(const std::string& text, std::vector<InventoryPrinter>* printers,
                    std::string* error);

// The address text as the inventory takes it: four decimal octets of at most three digits and
// at most 255 each. False for anything else; *canonical is then left alone.
bool canonicalIpv4(const std::string& text, std::string* canonical);
