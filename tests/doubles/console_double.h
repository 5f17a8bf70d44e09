#pragma once

// The console service for tests: standard streams that are or are not terminals as the test
// says, typed lines from a queue the test fills (end of input when it is empty, unless the test
// keeps the input open), and interrupts that the test delivers itself. Installed for the
// lifetime of the object.

#include "platform/console.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

class ConsoleDouble {
  public:
    ConsoleDouble();
    ~ConsoleDouble();
    ConsoleDouble(const ConsoleDouble&) = delete;
    ConsoleDouble& operator=(const ConsoleDouble&) = delete;

    void setTerminal(ConsoleStream stream, bool terminal);
    // The terminals take no control sequences, as a console before Windows 10.
    void refuseEscapes();
    void typeLine(const std::string& line);
    int linesRead() const;
    // From now on a read with no line queued waits for one, as on a terminal where nothing has
    // been typed yet; the double's end lets it go as the end of the input. waitForRead returns
    // once a read waits.
    void keepInputOpen();
    void waitForRead();

    // Calls the watched handler on the calling thread, as the service's own thread would.
    // False when nothing watches the interrupts.
    bool interrupt(ConsoleInterrupt interrupt);

  private:
    static bool isTerminal(ConsoleStream stream);
    static bool enableEscapes(ConsoleStream stream);
    static bool readLine(char* buffer, uint32_t size);
    static bool watchInterrupts(ConsoleInterruptHandler handler, PlatformError* error);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool inputOpen_ = false;
    int readsWaiting_ = 0;
    bool terminal_[3] = {false, false, false};
    bool escapesRefused_ = false;
    std::deque<std::string> lines_;
    int linesRead_ = 0;
    ConsoleInterruptHandler handler_ = nullptr;
    const ConsoleService* previous_;
    static ConsoleDouble* active_;
    static const ConsoleService service_;
};
