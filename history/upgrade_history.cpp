#include "history/upgrade_history.h"

#include "history/history_line.h"
#include "platform/kernel.h"
#include "platform/state_files.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace {

// Room for a line: the longest texts of an entry, each escaped at six bytes a byte at worst.
constexpr size_t HISTORY_LINE_SIZE = 6 * (4 * PRINTER_TEXT_SIZE + 4 * HISTORY_TEXT_SIZE) + 1024;
// The most a history file is read to: far beyond the rotation, which a few runs writing at
// once may pass by a line each.
constexpr uint32_t HISTORY_READ_LIMIT = 4 * HISTORY_ROTATE_BYTES;

const char* const STATE_NAMES[] = {"pending", "verified", "failed", "interrupted"};

std::mutex historyMutex;
bool entryUnderWay = false;
HistoryEntry underWay;

void utcNow(char* text, size_t size) {
    using namespace std::chrono;
    auto now = floor<seconds>(system_clock::now());
    auto day = floor<days>(now);
    year_month_day date{day};
    hh_mm_ss<seconds> time{now - day};
    snprintf(text, size, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", static_cast<int>(date.year()),
             static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
             static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
             static_cast<long>(time.seconds().count()));
}

// An id no other run's entry has: the start time and 64 random bits.
void newEntryId(HistoryEntry* entry) {
    std::random_device random;
    uint64_t bits = (static_cast<uint64_t>(random()) << 32) ^ random();
    snprintf(entry->id, sizeof entry->id, "%s-%016llx", entry->started,
             static_cast<unsigned long long>(bits));
}

bool formatEntry(const HistoryEntry& entry, char* text, size_t size, size_t* length) {
    HistoryLineWriter line;
    startHistoryLine(&line, text, size);
    addHistoryText(&line, "entry", entry.id);
    addHistoryText(&line, "state", historyStateName(entry.state));
    addHistoryText(&line, "started", entry.started);
    addHistoryText(&line, "ended", entry.ended);
    addHistoryText(&line, "route", entry.route);
    addHistoryText(&line, "address", entry.address);
    addHistoryText(&line, "usbSerial", entry.usbSerial);
    addHistoryText(&line, "deviceId", entry.deviceId);
    addHistoryText(&line, "model", entry.model);
    addHistoryText(&line, "oldVersion", entry.oldVersion);
    addHistoryText(&line, "image", entry.image);
    addHistoryNumber(&line, "slot", static_cast<uint64_t>(entry.slot < 0 ? 0 : entry.slot));
    addHistoryText(&line, "sha256", entry.sha256);
    addHistoryFlag(&line, "repair", entry.repair);
    addHistoryText(&line, "failure", entry.failure);
    addHistoryNumber(&line, "error", entry.error);
    addHistoryNumber(&line, "bytesAccepted", entry.bytesAccepted);
    addHistoryNumber(&line, "imageSize", entry.imageSize);
    addHistoryText(&line, "newVersion", entry.newVersion);
    bool whole = finishHistoryLine(&line);
    *length = line.length;
    return whole;
}

bool appendEntry(const HistoryEntry& entry, PlatformError* error) {
    std::vector<char> text(HISTORY_LINE_SIZE);
    size_t length = 0;
    if (!formatEntry(entry, text.data(), text.size(), &length)) {
        reportPlatformError(error, PlatformError{PLATFORM_ERROR_TOO_LARGE, 0});
        return false;
    }
    return stateFileService->append(HISTORY_FILE_NAME, text.data(), static_cast<uint32_t>(length),
                                    error);
}

// Room for a whole file, left as it comes: only the pages the file fills are ever touched, so
// that a run over a short history does not hold the whole limit.
std::unique_ptr<char[]> readBuffer() {
    return std::make_unique_for_overwrite<char[]>(HISTORY_READ_LIMIT);
}

// Before a new entry: a full file becomes the older one. A failed rotation leaves the file to
// grow: the entry matters more than the bound.
void rotateIfFull() {
    auto probe = readBuffer();
    uint32_t length = 0;
    bool present = false;
    PlatformError error{};
    bool read = stateFileService->read(HISTORY_FILE_NAME, probe.get(), HISTORY_READ_LIMIT, &length,
                                       &present, &error);
    if (present && (!read || length >= HISTORY_ROTATE_BYTES) &&
        !stateFileService->rename(HISTORY_FILE_NAME, HISTORY_OLDER_FILE_NAME, &error)) {
        debugLogFailure("history - rotating", HISTORY_FILE_NAME, error);
    }
}

void copyText(char* field, size_t size, const char* text) {
    snprintf(field, size, "%s", text != nullptr ? text : "");
}

bool storeField(const HistoryField& field, void* context) {
    HistoryEntry* entry = static_cast<HistoryEntry*>(context);
    struct TextKey {
        const char* key;
        char* field;
        size_t size;
    } const texts[] = {
        {"entry", entry->id, sizeof entry->id},
        {"started", entry->started, sizeof entry->started},
        {"ended", entry->ended, sizeof entry->ended},
        {"route", entry->route, sizeof entry->route},
        {"address", entry->address, sizeof entry->address},
        {"usbSerial", entry->usbSerial, sizeof entry->usbSerial},
        {"deviceId", entry->deviceId, sizeof entry->deviceId},
        {"model", entry->model, sizeof entry->model},
        {"oldVersion", entry->oldVersion, sizeof entry->oldVersion},
        {"image", entry->image, sizeof entry->image},
        {"sha256", entry->sha256, sizeof entry->sha256},
        {"failure", entry->failure, sizeof entry->failure},
        {"newVersion", entry->newVersion, sizeof entry->newVersion},
    };
    for (const TextKey& text : texts) {
        if (strcmp(field.key, text.key) == 0) {
            copyText(text.field, text.size, field.text);
            return field.kind == HISTORY_VALUE_TEXT && strlen(field.text) < text.size;
        }
    }
    if (strcmp(field.key, "state") == 0) {
        for (int state = HISTORY_PENDING; state <= HISTORY_INTERRUPTED; ++state) {
            if (strcmp(field.text, STATE_NAMES[state]) == 0) {
                entry->state = static_cast<HistoryState>(state);
                return field.kind == HISTORY_VALUE_TEXT;
            }
        }
        return false;
    }
    uint32_t number = field.number > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(field.number);
    if (strcmp(field.key, "slot") == 0) {
        entry->slot = number < FIRMWARE_SLOT_COUNT ? static_cast<int>(number) : -1;
    } else if (strcmp(field.key, "error") == 0) {
        entry->error = number;
    } else if (strcmp(field.key, "bytesAccepted") == 0) {
        entry->bytesAccepted = number;
    } else if (strcmp(field.key, "imageSize") == 0) {
        entry->imageSize = number;
    } else if (strcmp(field.key, "repair") == 0) {
        entry->repair = field.kind == HISTORY_VALUE_FLAG && field.flag;
    }
    // A key this version does not know comes from a later one: passed over.
    return true;
}

// The lines of one file, each parsed; a damaged line is passed over.
bool readFile(const char* name, void (*visit)(const HistoryEntry& entry, void* context),
              void* context) {
    auto text = readBuffer();
    uint32_t length = 0;
    bool present = false;
    PlatformError error{};
    if (!stateFileService->read(name, text.get(), HISTORY_READ_LIMIT, &length, &present, &error)) {
        debugLogFailure("history - reading", name, error);
        return false;
    }
    // On the heap: the closing probe reads the history on the writer's small stack.
    auto entry = std::make_unique<HistoryEntry>();
    for (uint32_t start = 0; start < length;) {
        const char* newline =
            static_cast<const char*>(memchr(text.get() + start, '\n', length - start));
        uint32_t end = newline != nullptr ? static_cast<uint32_t>(newline - text.get()) : length;
        *entry = HistoryEntry{};
        entry->slot = -1;
        if (parseHistoryLine(text.get() + start, end - start, storeField, entry.get()) &&
            entry->id[0] != '\0') {
            visit(*entry, context);
        }
        start = end + 1;
    }
    return true;
}

} // namespace

const char* historyRouteName(int32_t portType) {
    return portType == PORT_TYPE_ETHERNET   ? "tcp"
           : portType == PORT_TYPE_PARALLEL ? "parallel"
                                            : "usb";
}

void usbSerialOfPath(const char* path, char* serial, size_t size) {
    const char* first = strchr(path, '#');
    const char* second = first != nullptr ? strchr(first + 1, '#') : nullptr;
    const char* third = second != nullptr ? strchr(second + 1, '#') : nullptr;
    bool usb = strncmp(path, "\\\\?\\usb#", 8) == 0 || strncmp(path, "\\\\.\\usb#", 8) == 0;
    if (!usb || third == nullptr) {
        snprintf(serial, size, "%s", "");
        return;
    }
    snprintf(serial, size, "%.*s", static_cast<int>(third - second - 1), second + 1);
}

const char* historyStateName(HistoryState state) {
    return STATE_NAMES[state];
}

bool historyEntryUnfinished(const HistoryEntry& entry) {
    switch (entry.state) {
    case HISTORY_PENDING:
    case HISTORY_INTERRUPTED:
        return true;
    case HISTORY_FAILED:
        return entry.bytesAccepted > 0 && entry.bytesAccepted < entry.imageSize;
    default:
        return false;
    }
}

bool beginHistoryEntry(HistoryEntry* entry, PlatformError* error) {
    std::lock_guard<std::mutex> lock(historyMutex);
    entry->state = HISTORY_PENDING;
    utcNow(entry->started, sizeof entry->started);
    entry->ended[0] = '\0';
    newEntryId(entry);
    rotateIfFull();
    if (!appendEntry(*entry, error)) {
        entryUnderWay = false;
        return false;
    }
    underWay = *entry;
    entryUnderWay = true;
    return true;
}

void completeHistoryEntry(HistoryState state, const char* failure, uint32_t error,
                          uint32_t bytesAccepted, uint32_t imageSize, const char* newVersion) {
    std::lock_guard<std::mutex> lock(historyMutex);
    if (!entryUnderWay) {
        return;
    }
    entryUnderWay = false;
    underWay.state = state;
    utcNow(underWay.ended, sizeof underWay.ended);
    copyText(underWay.failure, sizeof underWay.failure, failure);
    underWay.error = error;
    underWay.bytesAccepted = bytesAccepted;
    underWay.imageSize = imageSize;
    copyText(underWay.newVersion, sizeof underWay.newVersion, newVersion);
    PlatformError failed{};
    if (!appendEntry(underWay, &failed)) {
        debugLogFailure("history - completing", underWay.id, failed);
    }
}

namespace {

struct PrinterSearch {
    const char* route;
    const char* address;
    HistoryEntry* found;
    bool any;
};

void keepIfSamePrinter(const HistoryEntry& entry, void* context) {
    PrinterSearch* search = static_cast<PrinterSearch*>(context);
    if (strcmp(entry.route, search->route) == 0 && strcmp(entry.address, search->address) == 0) {
        *search->found = entry;
        search->any = true;
    }
}

// The entries of the printers a run holds, each as its last line says, in the order they began.
struct HeldEntries {
    bool (*ours)(const HistoryEntry& entry, const void* context);
    const void* context;
    std::vector<HistoryEntry> latest;
};

// Every line of an entry names its printer, so the other printers' entries are never kept: a
// fleet's run over TCP holds one printer of a history that names them all.
void keepLatestLine(const HistoryEntry& entry, void* context) {
    HeldEntries* held = static_cast<HeldEntries*>(context);
    if (!held->ours(entry, held->context)) {
        return;
    }
    std::vector<HistoryEntry>* latest = &held->latest;
    for (HistoryEntry& known : *latest) {
        if (strcmp(known.id, entry.id) == 0) {
            known = entry;
            return;
        }
    }
    latest->push_back(entry);
}

} // namespace

bool lastHistoryEntryOf(const char* route, const char* address, HistoryEntry* entry) {
    PrinterSearch search = {route, address, entry, false};
    forEachHistoryLine(keepIfSamePrinter, &search);
    return search.any;
}

void markInterruptedHistory(bool (*ours)(const HistoryEntry& entry, const void* context),
                            const void* context) {
    HeldEntries held = {ours, context, {}};
    if (!forEachHistoryLine(keepLatestLine, &held)) {
        return;
    }
    for (HistoryEntry& entry : held.latest) {
        if (entry.state != HISTORY_PENDING) {
            continue;
        }
        entry.state = HISTORY_INTERRUPTED;
        utcNow(entry.ended, sizeof entry.ended);
        PlatformError error{};
        if (!appendEntry(entry, &error)) {
            debugLogFailure("history - marking interrupted", entry.id, error);
        }
    }
}

bool forEachHistoryLine(void (*visit)(const HistoryEntry& entry, void* context), void* context) {
    bool older = readFile(HISTORY_OLDER_FILE_NAME, visit, context);
    return readFile(HISTORY_FILE_NAME, visit, context) && older;
}

void resetHistory() {
    std::lock_guard<std::mutex> lock(historyMutex);
    entryUnderWay = false;
}
