#include "tests/support/child_process.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The parent's environment with the extra NAME=VALUE entries taking precedence.
std::vector<std::string> childEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> entries = extra;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('=') + 1);
        bool overridden = false;
        for (const std::string& own : extra) {
            overridden = overridden || own.compare(0, name.size(), name) == 0;
        }
        if (!overridden) {
            entries.push_back(text);
        }
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) {
        list.push_back(text.data());
    }
    list.push_back(nullptr);
    return list;
}

// A pseudo-terminal: the controller end is returned, the name of the other end in *name.
int openTerminal(std::string* name) {
    int controller = posix_openpt(O_RDWR | O_NOCTTY);
    if (controller < 0 || grantpt(controller) != 0 || unlockpt(controller) != 0) {
        return -1;
    }
    *name = ptsname(controller);
    return controller;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, bool terminalInput) {
    int outputPipe[2];
    int errorPipe[2];
    if (pipe(outputPipe) != 0 || pipe(errorPipe) != 0) {
        return;
    }
    std::string terminalName = "/dev/null";
    if (terminalInput) {
        terminal_ = openTerminal(&terminalName);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, terminalName.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outputPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errorPipe[0]);
    std::vector<std::string> argv = arguments;
    argv.insert(argv.begin(), program);
    std::vector<std::string> envp = childEnvironment(environment);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers(argv).data(),
                    pointers(envp).data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outputPipe[1]);
    close(errorPipe[1]);
    output_ = outputPipe[0];
    errors_ = errorPipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int descriptor : {output_, errors_, terminal_}) {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
}

void ChildProcess::drain(int timeoutMilliseconds) {
    int* descriptors[2] = {&output_, &errors_};
    std::string* texts[2] = {&outputText_, &errorText_};
    pollfd entries[2] = {{output_, POLLIN, 0}, {errors_, POLLIN, 0}};
    if (poll(entries, 2, timeoutMilliseconds) <= 0) {
        return;
    }
    char buffer[4096];
    for (int index = 0; index < 2; ++index) {
        if ((entries[index].revents & (POLLIN | POLLHUP)) == 0) {
            continue;
        }
        ssize_t count = read(entries[index].fd, buffer, sizeof buffer);
        if (count > 0) {
            texts[index]->append(buffer, static_cast<size_t>(count));
        } else {
            // The end of the pipe: poll leaves a negative descriptor alone from now on.
            close(entries[index].fd);
            *descriptors[index] = -1;
        }
    }
}

std::string ChildProcess::waitForOutput(const std::string& text, int timeoutMilliseconds) {
    return waitForText(outputText_, text, timeoutMilliseconds);
}

std::string ChildProcess::waitForErrors(const std::string& text, int timeoutMilliseconds) {
    return waitForText(errorText_, text, timeoutMilliseconds);
}

const std::string& ChildProcess::waitForText(const std::string& stream, const std::string& text,
                                             int timeoutMilliseconds) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (stream.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        drain(50);
    }
    return stream;
}

void ChildProcess::typeOnTerminal(const std::string& text) {
    if (terminal_ >= 0 && write(terminal_, text.data(), text.size()) < 0) {
        terminal_ = -1;
    }
}

void ChildProcess::signal(int number) {
    if (pid_ > 0) {
        kill(pid_, number);
    }
}

void ChildProcess::closeOutput() {
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
}

void ChildProcess::signalGroup(int number) {
    if (pid_ > 0) {
        kill(-pid_, number);
    }
}

ChildOutcome ChildProcess::finish(int timeoutMilliseconds) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    int status = 0;
    pid_t ended = 0;
    while (pid_ > 0 && (ended = waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        drain(50);
    }
    int exitCode = -1;
    if (ended == pid_ && WIFEXITED(status)) {
        exitCode = WEXITSTATUS(status);
    }
    if (ended != pid_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    // The rest of the output, until both pipes end (a grandchild could keep them open).
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((output_ >= 0 || errors_ >= 0) && std::chrono::steady_clock::now() < deadline) {
        drain(100);
    }
    return {exitCode, outputText_, errorText_};
}
