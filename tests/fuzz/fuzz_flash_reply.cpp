// Feeds arbitrary replies to the flash mode entry of both routes: the entry may succeed exactly
// when the reply the printer delivered to the confirming command holds "FLASH READY" (anywhere,
// zero bytes or not around it), and never otherwise. The first input byte picks the route and
// port; the rest is that reply.

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
    bool entered;
    if (printer.portType == PORT_TYPE_ETHERNET) {
        installScriptedPrinter({reply});
        entered = enterFlashModeEthernet(1);
    } else {
        // The reply to ESC "*FR", then the reply to the confirmation.
        installScriptedPrinter({READY_STATUS, reply});
        entered = enterFlashModeLocal(1, &printer);
    }
    if (entered != holdsMarker(lastDelivered())) {
        __builtin_trap();
    }
    return 0;
}
