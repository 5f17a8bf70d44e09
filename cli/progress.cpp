#include "cli/progress.h"

#include <cstdio>

namespace {

constexpr int BAR_WIDTH = 30;
constexpr int PLAIN_SECONDS_STEP = 5;
constexpr uint32_t KILOBYTE = 1024;

std::string bar(uint32_t done, uint32_t total) {
    uint32_t filled = total > 0 ? done * BAR_WIDTH / total : BAR_WIDTH;
    filled = filled > BAR_WIDTH ? BAR_WIDTH : filled;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + std::string at -O3.
    std::string line = "[";
    line.append(filled, '#');
    line.append(BAR_WIDTH - filled, '.');
    line += ']';
    return line;
}

std::string streamingLine(const WriterProgress& progress) {
    bool endOfFile = progress.phase == WRITER_PHASE_END_OF_FILE;
    uint32_t total = progress.imageSize / KILOBYTE;
    uint32_t done = endOfFile ? total : progress.bytesAccepted / KILOBYTE;
    char line[160];
    snprintf(line, sizeof line, "Programming %s %u of %u KBytes%s", bar(done, total).c_str(), done,
             total, endOfFile ? "  End Of File" : "");
    return line;
}

// The dialog's words for a wait.
const char* waitName(WriterPhase phase) {
    return phase == WRITER_PHASE_DELAY ? "Delaying 15 seconds" : "Waiting for reset";
}

std::string waitingLine(const WriterProgress& progress) {
    char line[160];
    snprintf(line, sizeof line, "%s  %d s elapsed", waitName(progress.phase), progress.seconds);
    return line;
}

bool isWait(WriterPhase phase) {
    return phase == WRITER_PHASE_DELAY || phase == WRITER_PHASE_RESET_WAIT;
}

bool isStreaming(WriterPhase phase) {
    return phase == WRITER_PHASE_IMAGE || phase == WRITER_PHASE_END_OF_FILE;
}

} // namespace

std::string progressLiveLine(const WriterProgress& progress) {
    if (isWait(progress.phase)) {
        return waitingLine(progress);
    }
    if (isStreaming(progress.phase)) {
        return streamingLine(progress);
    }
    if (progress.phase == WRITER_PHASE_NONE) {
        return "";
    }
    // After a write error the writer goes to its closing steps as the image stopped.
    return progress.bytesAccepted < progress.imageSize ? streamingLine(progress)
                                                       : "Progamming complete";
}

std::vector<std::string> PlainProgress::linesFor(const WriterProgress& progress) {
    bool newPhase = progress.phase != phase_;
    phase_ = progress.phase;
    std::vector<std::string> lines;
    if (isWait(progress.phase)) {
        if (newPhase) {
            lines.push_back(waitName(progress.phase));
        }
        if (progress.seconds != seconds_ && progress.seconds % PLAIN_SECONDS_STEP == 0) {
            lines.push_back(waitingLine(progress));
        }
        seconds_ = progress.seconds;
        return lines;
    }
    seconds_ = -1;
    if (isStreaming(progress.phase)) {
        int tenth =
            progress.imageSize > 0
                ? static_cast<int>(uint64_t{progress.bytesAccepted} * 10 / progress.imageSize)
                : 0;
        if (newPhase || tenth != tenth_) {
            lines.push_back(streamingLine(progress));
        }
        tenth_ = tenth;
        return lines;
    }
    // The closing probe and the end are the dialog's "Progamming complete" only after the wait
    // for the reset, which a write error skips.
    if (newPhase && progress.phase == WRITER_PHASE_COMPLETE) {
        lines.push_back("Progamming complete");
    }
    return lines;
}
