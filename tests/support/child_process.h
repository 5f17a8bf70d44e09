#pragma once

// A program run as a child process by the tests, with its standard output and standard error
// on pipes, its standard input on /dev/null or on a pseudo-terminal, and extra environment
// variables. POSIX only, as the programs it runs.

#include <string>
#include <sys/types.h>
#include <vector>

struct ChildOutcome {
    int exitCode; // -1 when the child did not end by itself in time, or was killed by a signal
    std::string output;
    std::string errors;
};

class ChildProcess {
  public:
    // terminalInput: standard input is a pseudo-terminal that typeOnTerminal writes to.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, bool terminalInput = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Standard output read so far, waiting up to timeoutMilliseconds for it to contain text.
    std::string waitForOutput(const std::string& text, int timeoutMilliseconds);
    // The same for standard error.
    std::string waitForErrors(const std::string& text, int timeoutMilliseconds);

    void typeOnTerminal(const std::string& text);
    void signal(int number);
    // Closes the reading end of standard output, as a reader that goes away (`| head`) does:
    // the child's later writes to it fail.
    void closeOutput();
    // Signals the child's process group, as a terminal's Ctrl-C does: for a child that leads
    // a group of its own (started through setsid).
    void signalGroup(int number);

    // Waits for the end (killing the child after timeoutMilliseconds) and collects the rest of
    // its output.
    ChildOutcome finish(int timeoutMilliseconds);

  private:
    // Reads whatever is there on the two pipes, waiting at most timeoutMilliseconds.
    void drain(int timeoutMilliseconds);
    // Drains until stream, one of the two texts read, contains text or the time is up.
    const std::string& waitForText(const std::string& stream, const std::string& text,
                                   int timeoutMilliseconds);

    pid_t pid_ = -1;
    int output_ = -1;
    int errors_ = -1;
    int terminal_ = -1;
    std::string outputText_;
    std::string errorText_;
};
