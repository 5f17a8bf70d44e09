#include "cli/console_output.h"

#include "platform/console.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex outputMutex;
bool jsonOutput = false;
bool terminalOutput = false;
std::string liveLine;    // what the live line shows; empty when there is none
bool promptOpen = false; // a question waits on the line of standard output

// Clears the terminal line the cursor is on.
void clearLine() {
    fputs("\r\033[K", stdout);
}

} // namespace

void setupConsoleOutput(bool json) {
    std::lock_guard<std::mutex> lock(outputMutex);
    jsonOutput = json;
    terminalOutput = !json && consoleService->isTerminal(CONSOLE_OUTPUT);
}

bool liveOutput() {
    std::lock_guard<std::mutex> lock(outputMutex);
    return terminalOutput;
}

void printUserLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    if (jsonOutput) {
        return;
    }
    if (!liveLine.empty()) {
        clearLine();
    } else if (promptOpen) {
        fputc('\n', stdout);
    }
    promptOpen = false;
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    if (!liveLine.empty()) {
        fputs(liveLine.c_str(), stdout);
    }
    fflush(stdout);
}

void showLiveLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    if (!terminalOutput || line == liveLine) {
        return;
    }
    clearLine();
    fputs(line.c_str(), stdout);
    fflush(stdout);
    liveLine = line;
}

void endLiveLine() {
    std::lock_guard<std::mutex> lock(outputMutex);
    if (!liveLine.empty()) {
        fputc('\n', stdout);
        fflush(stdout);
        liveLine.clear();
    }
}

void printPrompt(const std::string& prompt) {
    std::lock_guard<std::mutex> lock(outputMutex);
    FILE* stream = jsonOutput ? stderr : stdout;
    if (!jsonOutput && !liveLine.empty()) {
        fputc('\n', stdout);
        liveLine.clear();
    }
    fputs(prompt.c_str(), stream);
    fflush(stream);
    promptOpen = !jsonOutput;
}

void promptAnswered() {
    std::lock_guard<std::mutex> lock(outputMutex);
    promptOpen = false;
}

void printJsonDocument(const std::string& document) {
    std::lock_guard<std::mutex> lock(outputMutex);
    fputs(document.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void flushConsoleOutput() {
    std::lock_guard<std::mutex> lock(outputMutex);
    fflush(stdout);
    fflush(stderr);
}
