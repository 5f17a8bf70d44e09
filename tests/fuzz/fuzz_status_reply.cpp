// Feeds arbitrary status replies to both routes' readiness checks: the local read with its
// cache and the parallel port's recovery, and the "<SS>" exchange over TCP. The first input
// byte picks the route and port; the rest is the reply. Each verdict must be the readiness
// rule applied to the bytes the printer delivered (byte 3 zero, byte 4 zero or one, missing
// bytes zero), and the cache must hold nothing but a status report.

#include "connection/ethernet.h"
#include "connection/status.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstring>
#include <vector>

static bool ruleSays(const std::vector<uint8_t>& reply) {
    if (reply.empty()) {
        return false;
    }
    uint8_t byte3 = reply.size() > 3 ? reply[3] : 0;
    uint8_t byte4 = reply.size() > 4 ? reply[4] : 0;
    return byte3 == 0 && (byte4 == 0 || byte4 == 1);
}

static bool isStatusReport(uint8_t first) {
    return first == 'C' || first == 'E' || first == 'N' || first == 'S';
}

static void checkLocal(const std::vector<uint8_t>& reply, bool parallel) {
    PrinterData record = {};
    record.portType = parallel ? PORT_TYPE_PARALLEL : PORT_TYPE_USB;
    installScriptedPrinter({reply});
    bool ready = isPrinterReady(1, &record);
    // An empty read on a parallel port is judged on the (empty) cache: never ready.
    if (ready != ruleSays(deliveredBytes()) || record.statusCacheLength > STATUS_CACHE_SIZE) {
        __builtin_trap();
    }
    bool stored = record.statusCacheLength != 0;
    if (stored &&
        (!isStatusReport(record.statusCache[0]) ||
         memcmp(record.statusCache, deliveredBytes().data(), record.statusCacheLength) != 0)) {
        __builtin_trap();
    }
}

static void checkEthernet(const std::vector<uint8_t>& reply) {
    installScriptedPrinter({reply});
    if (isPrinterReadyEthernet(1) != ruleSays(deliveredBytes())) {
        __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t route = 0;
    std::vector<uint8_t> reply;
    if (!splitRouteAndReply(data, size, &route, &reply)) {
        return 0;
    }
    switch (route % 3) {
    case 0:
        checkLocal(reply, false);
        break;
    case 1:
        checkLocal(reply, true);
        break;
    default:
        checkEthernet(reply);
        break;
    }
    if (statusReplyIsReady(data, static_cast<uint32_t>(size)) !=
        ruleSays(std::vector<uint8_t>(data, data + size))) {
        __builtin_trap();
    }
    return 0;
}
