#pragma once

// The spooler service for tests: a list of printers with their ports, handed out in a block
// of a layout of its own (so that the code under test must go through the service to read a
// record). Every call is recorded; a printer can refuse to open or to take new settings, a
// printer can be installed right after a given enumeration, the listing can fail. Installed
// for the lifetime of the object. The journal is a state file: tests/doubles/state_file_double.

#include "platform/spooler.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct SpooledPrinter {
    std::string name;
    std::string port;
    bool opens = true;
    bool takesSettings = true;
};

enum SpoolerCallKind {
    SPOOLER_ENUMERATE,
    SPOOLER_OPEN,
    SPOOLER_SET,
    SPOOLER_CLOSE,
};

struct SpoolerCall {
    SpoolerCallKind kind;
    std::string printerName; // open and set: the printer; set: of the open handle
    std::string portName;    // set: the port of the record given
    uint32_t size;           // enumerate: the block size offered
    uint64_t order;          // see tests/doubles/call_order.h
};

class SpoolerDouble {
  public:
    explicit SpoolerDouble(std::vector<SpooledPrinter> printers);
    ~SpoolerDouble();
    SpoolerDouble(const SpoolerDouble&) = delete;
    SpoolerDouble& operator=(const SpoolerDouble&) = delete;

    // Installs a printer right after the enumeration numbered afterCall (1 for the first);
    // may be called for several.
    void installLater(int afterCall, SpooledPrinter printer);

    std::vector<SpoolerCall> calls() const;
    size_t callCount(SpoolerCallKind kind) const;
    // The printers as the spooler holds them now.
    std::vector<SpooledPrinter> printers() const;
    // Handles opened and not yet closed.
    int openHandles() const;

    // Every later listing fails with this error (no error to stop).
    void failListing(PlatformError error);

    // From now on the process holds no right to change the printers (a standard user's token
    // on Windows); it holds them until then.
    void runUnelevated();

  private:
    friend struct SpoolerDoubleBackend;
    static SpoolerDouble* active_;

    mutable std::mutex mutex_;
    std::vector<SpooledPrinter> printers_;
    std::vector<SpoolerCall> calls_;
    std::vector<std::pair<int, SpooledPrinter>> installs_;
    int enumerations_ = 0;
    int openHandles_ = 0;
    PlatformError listingFailure_ = {};
    bool elevated_ = true;
    const SpoolerService* previous_;
};
