#pragma once

// The spooler service for tests: a list of printers with their ports, handed out in a block
// of a layout of its own (so that the code under test must go through the service to read a
// record), and a journal held in memory. Every call is recorded; a printer can refuse to open
// or to take new settings, a printer can be installed right after a given enumeration, the
// listing and the journal can fail. Installed for the lifetime of the object.

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
    SPOOLER_JOURNAL_WRITE,
    SPOOLER_JOURNAL_REMOVE,
};

struct SpoolerCall {
    SpoolerCallKind kind;
    std::string printerName; // open and set: the printer; set: of the open handle
    std::string portName;    // set: the port of the record given; journal write: the text
    uint32_t size;           // enumerate: the block size offered
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

    // The journal: whether there is one and its text; putJournal leaves one as a run that
    // did not end would. Failures: every later listing, journal write or journal read fails
    // with this error (0 to stop).
    bool journalPresent() const;
    std::string journal() const;
    void putJournal(const std::string& text);
    void failListing(PlatformError error);
    void failJournalWrite(PlatformError error);
    void failJournalRead(PlatformError error);

  private:
    friend struct SpoolerDoubleBackend;
    static SpoolerDouble* active_;

    mutable std::mutex mutex_;
    std::vector<SpooledPrinter> printers_;
    std::vector<SpoolerCall> calls_;
    std::vector<std::pair<int, SpooledPrinter>> installs_;
    int enumerations_ = 0;
    int openHandles_ = 0;
    bool journalPresent_ = false;
    std::string journal_;
    PlatformError listingFailure_ = 0;
    PlatformError journalWriteFailure_ = 0;
    PlatformError journalReadFailure_ = 0;
    const SpoolerService* previous_;
};
