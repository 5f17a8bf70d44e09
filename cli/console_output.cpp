#include "cli/console_output.h"

#include "platform/console.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex outputMutex;
bool jsonOutput = false;
bool terminalOutput = false;
bool progressToErrors = false;
std::string liveLine;               // what the live line shows; empty when there is none
std::vector<std::string> liveTable; // the rows the live table shows
bool promptOpen = false;            // a question waits on the line of standard output
bool escapesUnderstood = false;     // the terminal takes the line erase as a control

// A line as the terminal gets it: what a printer sent may sit in any line (a model, a version,
// a reason quoting them), so every line is escaped here, its line breaks alone kept.
std::string terminalText(const std::string& line) {
    std::string shown;
    size_t start = 0;
    for (size_t end = line.find('\n'); end != std::string::npos; end = line.find('\n', start)) {
        shown += printableText(line.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    return shown + printableText(line.substr(start));
}

// Writes text over the live line the cursor is on. A terminal without control sequences (a
// Windows console before Windows 10) gets the erase as spaces over what the line showed.
void overwriteLine(const std::string& text) {
    if (escapesUnderstood) {
        fputs("\r\033[K", stdout);
        fputs(text.c_str(), stdout);
        return;
    }
    fputc('\r', stdout);
    fputs(text.c_str(), stdout);
    if (liveLine.size() > text.size()) {
        fprintf(stdout, "%*s", static_cast<int>(liveLine.size() - text.size()), "");
    }
}

} // namespace

void setupConsoleOutput(bool json, bool progressOnErrors) {
    std::lock_guard<std::mutex> lock(outputMutex);
    jsonOutput = json;
    progressToErrors = json && progressOnErrors;
    terminalOutput = !json && consoleService->isTerminal(CONSOLE_OUTPUT);
    escapesUnderstood = terminalOutput && consoleService->enableEscapes(CONSOLE_OUTPUT);
}

bool liveOutput() {
    std::lock_guard<std::mutex> lock(outputMutex);
    return terminalOutput;
}

bool liveTableOutput() {
    std::lock_guard<std::mutex> lock(outputMutex);
    return escapesUnderstood;
}

void printUserLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    if (jsonOutput) {
        return;
    }
    std::string shown = terminalText(line);
    if (!liveLine.empty()) {
        overwriteLine(shown);
    } else {
        fputs(promptOpen ? "\n" : "", stdout);
        fputs(shown.c_str(), stdout);
    }
    promptOpen = false;
    liveTable.clear(); // a table stays where it is, above the line
    fputc('\n', stdout);
    if (!liveLine.empty()) {
        fputs(liveLine.c_str(), stdout);
    }
    fflush(stdout);
}

void printProgressLine(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        if (progressToErrors) {
            fprintf(stderr, "%s\n", terminalText(line).c_str());
            fflush(stderr);
            return;
        }
    }
    printUserLine(line);
}

void showLiveLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::string shown = terminalText(line);
    if (!terminalOutput || shown == liveLine) {
        return;
    }
    overwriteLine(shown);
    fflush(stdout);
    liveLine = shown;
}

void showLiveTable(const std::vector<std::string>& rows) {
    std::lock_guard<std::mutex> lock(outputMutex);
    if (!escapesUnderstood || rows == liveTable) {
        return;
    }
    std::string text;
    if (!liveTable.empty()) {
        text += "\033[" + std::to_string(liveTable.size()) + "A"; // back up to the first row
    }
    text += "\033[?7l"; // no wrapping at the right margin
    for (const std::string& row : rows) {
        text += "\r\033[K" + printableText(row) + "\n";
    }
    text += "\033[?7h";
    fputs(text.c_str(), stdout);
    fflush(stdout);
    liveTable = rows;
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
    liveTable.clear();
    fputs(terminalText(prompt).c_str(), stream);
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

std::string printableText(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string describedError(PlatformError error) {
    char text[PLATFORM_ERROR_TEXT_SIZE];
    describePlatformError(error, text, sizeof text);
    return text;
}

std::string describedFileError(PlatformError error) {
    return error.kind == PLATFORM_ERROR_INVALID && error.number == 0 ? "not a regular file"
                                                                     : describedError(error);
}
