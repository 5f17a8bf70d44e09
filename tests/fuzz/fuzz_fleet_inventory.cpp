// Feeds arbitrary text to the fleet's inventory parser, which reads a file the user wrote. Every
// printer it accepts must carry a canonical address, a port in range and a known variant, on a
// line of the text and in line order, never twice; a refusal must name a line.

#include "cli/fleet_inventory.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

static bool acceptable(const InventoryPrinter& printer, int lines) {
    std::string canonical;
    return canonicalIpv4(printer.address, &canonical) && canonical == printer.address &&
           printer.port >= 1 && printer.variant >= 0 && printer.variant <= 2 && printer.line >= 1 &&
           printer.line <= lines;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char character : text) {
        lines += character == '\n' ? 1 : 0;
    }
    std::vector<InventoryPrinter> printers;
    std::vector<std::string> errors;
    // No name resolves here: a host name is a bad line, as it is when the network knows none.
    auto noNames = [](const std::string&, std::string*, std::string* why) {
        *why = "no IPv4 address is known for it";
        return false;
    };
    if (!parseInventory(text, noNames, &printers, &errors)) {
        for (const std::string& error : errors) {
            if (error.rfind("line ", 0) != 0) {
                __builtin_trap();
            }
        }
        if (errors.empty() || !printers.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    std::set<std::string> seen;
    int previousLine = 0;
    for (const InventoryPrinter& printer : printers) {
        std::string key = printer.address + ":" + std::to_string(printer.port);
        if (!acceptable(printer, lines) || printer.line <= previousLine ||
            !seen.insert(key).second) {
            __builtin_trap();
        }
        previousLine = printer.line;
    }
    return 0;
}
