#include "tests/doubles/call_order.h"

#include <atomic>

uint64_t nextCallOrder() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}
