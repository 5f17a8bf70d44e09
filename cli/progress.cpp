#include "cli/progress.h"

#include <cstdio>

namespace {

constexpr int BAR_WIDTH = 30;
constexpr int PLAIN_SECONDS_STEP = 5;

// The number of a count text of this form ("%d seconds elapsed", "%d KBytes programmed"), or
// -1 for a text of another form, such as the last count of the phase before.
int countOf(const std::string& text, const char* form) {
    int number = -1;
    char rest[32] = "";
    if (sscanf(text.c_str(), "%d %31[^\r\n]", &number, rest) != 2 || form != std::string(rest)) {
        return -1;
    }
    return number;
}

int secondsOf(const std::string& count) {
    return countOf(count, "seconds elapsed");
}

int kbytesOf(const std::string& count) {
    return countOf(count, "KBytes programmed");
}

// "Programming %d KBytes": the image's KBytes, or -1 for any other phase.
int imageKBytes(const std::string& phase) {
    int size = -1;
    return sscanf(phase.c_str(), "Programming %d KBytes", &size) == 1 ? size : -1;
}

// The count text without the line end that the writer puts after the KBytes.
std::string trimmed(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n ");
    return end == std::string::npos ? "" : text.substr(0, end + 1);
}

std::string bar(int done, int total) {
    int filled = total > 0 ? done * BAR_WIDTH / total : BAR_WIDTH;
    filled = filled < 0 ? 0 : (filled > BAR_WIDTH ? BAR_WIDTH : filled);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + std::string at -O3.
    std::string line = "[";
    line.append(filled, '#');
    line.append(BAR_WIDTH - filled, '.');
    line += ']';
    return line;
}

std::string streamingLine(int total, const std::string& count) {
    bool endOfFile = trimmed(count) == "End Of File";
    int done = endOfFile ? total : kbytesOf(count);
    char line[160];
    snprintf(line, sizeof line, "Programming %s %d of %d KBytes%s", bar(done, total).c_str(),
             done < 0 ? 0 : done, total, endOfFile ? "  End Of File" : "");
    return line;
}

// The two phases that count seconds: "Delaying 15 seconds" and "Waiting for reset". Any other
// phase keeps the last count of the phase before until it sets its own.
bool countsSeconds(const std::string& phase) {
    return phase.rfind("Delaying", 0) == 0 || phase.rfind("Waiting", 0) == 0;
}

// "3 seconds elapsed" read as a wait: "Delaying 15 seconds  3 s elapsed".
std::string waitingLine(const std::string& phase, const std::string& count) {
    int seconds = countsSeconds(phase) ? secondsOf(count) : -1;
    if (seconds < 0) {
        return phase;
    }
    char line[160];
    snprintf(line, sizeof line, "%s  %d s elapsed", phase.c_str(), seconds);
    return line;
}

} // namespace

std::string progressLiveLine(const std::string& phase, const std::string& count) {
    int total = imageKBytes(phase);
    if (total >= 0) {
        return streamingLine(total, count);
    }
    return waitingLine(phase, count);
}

std::string PlainProgress::lineFor(const std::string& phase, const std::string& count) {
    if (phase == phase_ && count == count_) {
        return "";
    }
    bool newPhase = phase != phase_;
    phase_ = phase;
    count_ = count;
    int total = imageKBytes(phase);
    if (total < 0) {
        int seconds = countsSeconds(phase) ? secondsOf(count) : -1;
        bool newSecond = seconds >= 0 && seconds % PLAIN_SECONDS_STEP == 0;
        return newPhase || newSecond ? waitingLine(phase, count) : "";
    }
    int done = kbytesOf(count);
    int tenth = total > 0 && done >= 0 ? done * 10 / total : 0;
    bool endOfFile = trimmed(count) == "End Of File";
    if (!newPhase && !endOfFile && tenth == lastTenth_) {
        return "";
    }
    lastTenth_ = tenth;
    return streamingLine(total, count);
}
