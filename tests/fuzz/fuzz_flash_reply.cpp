// Feeds arbitrary replies to the flash mode entry of both routes, whole or in up to four pieces
// (the entry gathers a reply that comes in pieces): the entry may succeed exactly when what the
// printer delivered after the confirming command holds "FLASH READY" (anywhere, zero bytes or
// not around it), and never otherwise. The first input byte picks the route and port and the
// number of pieces; the rest is the reply.

#include "flash/flash_entry.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

static const std::vector<uint8_t> READY_STATUS = {'S', 0, 0, 0, 0};

static bool holdsMarker(const std::vector<uint8_t>& reply) {
    static const std::string_view marker = "FLASH READY";
    return std::search(reply.begin(), reply.end(), marker.begin(), marker.end()) != reply.end();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t route = 0;
    std::vector<uint8_t> reply;
    if (!splitRouteAndReply(data, size, &route, &reply)) {
        return 0;
    }
    static const int32_t ports[] = {PORT_TYPE_ETHERNET, PORT_TYPE_USB, PORT_TYPE_PARALLEL};
    PrinterData printer = {};
    printer.portType = ports[route % 3];
    // The status reply that comes first on the local route ends in a zero byte: no marker can
    // begin in it, so what was delivered as a whole may be searched.
    std::vector<std::vector<uint8_t>> pieces;
    if (printer.portType != PORT_TYPE_ETHERNET) {
        pieces.push_back(READY_STATUS);
    }
    size_t count = 1 + (route / 3) % 4;
    for (size_t piece = 0; piece < count; ++piece) {
        pieces.emplace_back(reply.begin() + reply.size() * piece / count,
                            reply.begin() + reply.size() * (piece + 1) / count);
    }
    installScriptedPrinter(pieces);
    // Each input is an upgrade of its own: without this, the request of the first one would
    // withhold every later one, and nothing after it would reach the reply.
    reopenFlashModeGate();
    bool entered = printer.portType == PORT_TYPE_ETHERNET ? enterFlashModeEthernet(1)
                                                          : enterFlashModeLocal(1, &printer);
    if (entered != holdsMarker(deliveredBytes())) {
        __builtin_trap();
    }
    return 0;
}
