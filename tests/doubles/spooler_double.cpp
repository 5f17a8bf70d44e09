#include "tests/doubles/spooler_double.h"

#include "tests/doubles/call_order.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

SpoolerDouble* SpoolerDouble::active_ = nullptr;

// Deliberately unlike PRINTER_INFO_2 and the CUPS record: the names are not the first fields.
struct DoubleRecord {
    uint32_t attributes;
    const char* comment;
    char* portName;
    char* printerName;
};

static const char COMMENT[] = "test printer";

// Copies a text with its NUL and returns where the next one goes.
static char* storeText(char* at, const std::string& text) {
    memcpy(at, text.c_str(), text.size() + 1);
    return at + text.size() + 1;
}

struct SpoolerDoubleBackend {
    static uint32_t blockSize(const std::vector<SpooledPrinter>& printers) {
        size_t size = printers.size() * sizeof(DoubleRecord);
        for (const SpooledPrinter& printer : printers) {
            size += printer.name.size() + 1 + printer.port.size() + 1;
        }
        return static_cast<uint32_t>(size);
    }

    static bool enumerate(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count,
                          PlatformError* error) {
        SpoolerDouble* self = SpoolerDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({SPOOLER_ENUMERATE, "", "", size, nextCallOrder()});
        *count = 0;
        *needed = 0;
        if (platformFailed(self->listingFailure_)) {
            reportPlatformError(error, self->listingFailure_);
            return false;
        }
        *needed = blockSize(self->printers_);
        bool fits = *needed <= size && (block != nullptr || *needed == 0);
        if (fits) {
            layOut(block);
            *count = static_cast<uint32_t>(self->printers_.size());
        } else {
            reportPlatformError(error, {PLATFORM_ERROR_TOO_LARGE, 0});
        }
        ++self->enumerations_;
        for (const auto& install : self->installs_) {
            if (install.first == self->enumerations_) {
                self->printers_.push_back(install.second);
            }
        }
        return fits;
    }

    static void layOut(uint8_t* block) {
        const std::vector<SpooledPrinter>& printers = SpoolerDouble::active_->printers_;
        DoubleRecord* record = reinterpret_cast<DoubleRecord*>(block);
        char* text = reinterpret_cast<char*>(block + printers.size() * sizeof(DoubleRecord));
        for (const SpooledPrinter& printer : printers) {
            *record = {0x240, COMMENT, nullptr, text};
            text = storeText(text, printer.name);
            record->portName = text;
            text = storeText(text, printer.port);
            ++record;
        }
    }

    static const char* printerName(const PrinterPortEntry* record) {
        return reinterpret_cast<const DoubleRecord*>(record)->printerName;
    }

    static const char* portName(const PrinterPortEntry* record) {
        return reinterpret_cast<const DoubleRecord*>(record)->portName;
    }

    static bool isOffPort(const PrinterPortEntry* record) {
        return strcmp(portName(record), SPOOLER_FILE_PORT) == 0;
    }

    static void takeOffPort(PrinterPortEntry* record) { putBackSetting(record, SPOOLER_FILE_PORT); }

    static void putBackSetting(PrinterPortEntry* record, const char* setting) {
        reinterpret_cast<DoubleRecord*>(record)->portName = const_cast<char*>(setting);
    }

    static SpooledPrinter* find(const std::string& name) {
        std::vector<SpooledPrinter>& printers = SpoolerDouble::active_->printers_;
        auto found = std::find_if(printers.begin(), printers.end(),
                                  [&](const SpooledPrinter& p) { return p.name == name; });
        return found != printers.end() ? &*found : nullptr;
    }

    // A handle is the printer's position in the list, plus one.
    static bool open(const char* name, SpoolerPrinterHandle* printer, PlatformError* error) {
        SpoolerDouble* self = SpoolerDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({SPOOLER_OPEN, name, "", 0, nextCallOrder()});
        SpooledPrinter* found = find(name);
        *printer = 0;
        if (found == nullptr || !found->opens) {
            reportPlatformError(error,
                                {PLATFORM_ERROR_NOT_FOUND, 1801}); // ERROR_INVALID_PRINTER_NAME
            return false;
        }
        *printer = found - self->printers_.data() + 1;
        ++self->openHandles_;
        return true;
    }

    static bool set(SpoolerPrinterHandle printer, const PrinterPortEntry* record,
                    PlatformError* error) {
        SpoolerDouble* self = SpoolerDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        SpooledPrinter* target = printer > 0 ? &self->printers_[printer - 1] : nullptr;
        self->calls_.push_back({SPOOLER_SET, target != nullptr ? target->name : "",
                                portName(record), 0, nextCallOrder()});
        if (target == nullptr || !target->takesSettings) {
            reportPlatformError(error, {PLATFORM_ERROR_INVALID, 6}); // ERROR_INVALID_HANDLE
            return false;
        }
        target->port = portName(record);
        return true;
    }

    static void close(SpoolerPrinterHandle printer) {
        SpoolerDouble* self = SpoolerDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back({SPOOLER_CLOSE, "", "", 0, nextCallOrder()});
        if (printer != 0) {
            --self->openHandles_;
        }
    }

    static bool mayChangePrinters() {
        SpoolerDouble* self = SpoolerDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        return self->elevated_;
    }
};

static const SpoolerService doubleSpooler = {
    .recordSize = sizeof(DoubleRecord),
    .enumerate = SpoolerDoubleBackend::enumerate,
    .printerName = SpoolerDoubleBackend::printerName,
    .portName = SpoolerDoubleBackend::portName,
    .isOffPort = SpoolerDoubleBackend::isOffPort,
    .takeOffPort = SpoolerDoubleBackend::takeOffPort,
    .originalSetting = SpoolerDoubleBackend::portName,
    .putBackSetting = SpoolerDoubleBackend::putBackSetting,
    .open = SpoolerDoubleBackend::open,
    .set = SpoolerDoubleBackend::set,
    .close = SpoolerDoubleBackend::close,
    .mayChangePrinters = SpoolerDoubleBackend::mayChangePrinters,
};

SpoolerDouble::SpoolerDouble(std::vector<SpooledPrinter> printers)
    : printers_(std::move(printers)), previous_(spoolerService) {
    active_ = this;
    spoolerService = &doubleSpooler;
}

SpoolerDouble::~SpoolerDouble() {
    spoolerService = previous_;
    active_ = nullptr;
}

void SpoolerDouble::installLater(int afterCall, SpooledPrinter printer) {
    std::lock_guard<std::mutex> lock(mutex_);
    installs_.emplace_back(afterCall, std::move(printer));
}

std::vector<SpoolerCall> SpoolerDouble::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

size_t SpoolerDouble::callCount(SpoolerCallKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::count_if(calls_.begin(), calls_.end(),
                         [&](const SpoolerCall& call) { return call.kind == kind; });
}

std::vector<SpooledPrinter> SpoolerDouble::printers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return printers_;
}

int SpoolerDouble::openHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openHandles_;
}

void SpoolerDouble::failListing(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    listingFailure_ = error;
}

void SpoolerDouble::runUnelevated() {
    std::lock_guard<std::mutex> lock(mutex_);
    elevated_ = false;
}
