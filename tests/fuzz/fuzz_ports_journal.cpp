// Feeds arbitrary bytes to the parser of the spooler journal, which the program reads at every
// start from a file that anything may have changed. A text it accepts must be the very text
// the program writes for the entries it read; the sanitizers catch any access out of bounds.

#include "connection/ports_journal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > PORTS_JOURNAL_MAX_BYTES) {
        return 0;
    }
    std::vector<char> text(data, data + size);
    uint32_t length = static_cast<uint32_t>(size);
    std::vector<PortsJournalEntry> entries(portsJournalCapacity(text.data(), length) + 1);
    uint32_t count = 0;
    if (!parsePortsJournal(text.data(), length, entries.data(),
                           static_cast<uint32_t>(entries.size()), &count)) {
        return 0;
    }
    std::vector<char> written(size + 1);
    uint32_t writtenLength = 0;
    if (!formatPortsJournal(entries.data(), count, written.data(),
                            static_cast<uint32_t>(written.size()), &writtenLength) ||
        writtenLength != size || memcmp(written.data(), data, size) != 0) {
        abort();
    }
    return 0;
}
