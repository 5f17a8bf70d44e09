#pragma once

// The console service for tests: standard streams that are or are not terminals as the test
// says, typed lines from a queue the test fills (end of input when it is empty), and
// interrupts that the test delivers itself. Installed for the lifetime of the object.

#include "platform/console.h"

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
    void typeLine(const std::string& line);
    int linesRead() const;

    // Calls the watched handler on the calling thread, as the service's own thread would.
    // False when nothing watches the interrupts.
    bool interrupt(ConsoleInterrupt interrupt);

  private:
    static bool isTerminal(ConsoleStream stream);
    static bool readLine(char* buffer, uint32_t size);
    static bool watchInterrupts(ConsoleInterruptHandler handler, PlatformError* error);

    mutable std::mutex mutex_;
    bool terminal_[3] = {false, false, false};
    std::deque<std::string> lines_;
    int linesRead_ = 0;
    ConsoleInterruptHandler handler_ = nullptr;
    const ConsoleService* previous_;
    static ConsoleDouble* active_;
    static const ConsoleService service_;
};
