#include "cli/progress.h"

#include "cli/console_output.h"
#include "tests/doubles/console_double.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr uint32_t KB = 1024;

struct LiveCase {
    WriterProgress progress;
    const char* line;
};

class LiveProgress : public testing::TestWithParam<LiveCase> {};

TEST_P(LiveProgress, ShowsThePhaseAndItsCount) {
    EXPECT_EQ(progressLiveLine(GetParam().progress), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Records, LiveProgress,
    testing::Values(
        LiveCase{{WRITER_PHASE_NONE, 0, 0, 0}, ""},
        LiveCase{{WRITER_PHASE_DELAY, 3, 0, 0}, "Delaying 15 seconds  3 s elapsed"},
        LiveCase{{WRITER_PHASE_IMAGE, 0, 0, 384 * KB},
                 "Programming [..............................] 0 of 384 KBytes"},
        LiveCase{{WRITER_PHASE_IMAGE, 0, 192 * KB + 512, 384 * KB},
                 "Programming [###############...............] 192 of 384 KBytes"},
        LiveCase{{WRITER_PHASE_END_OF_FILE, 0, 384 * KB, 384 * KB},
                 "Programming [##############################] 384 of 384 KBytes  End Of File"},
        LiveCase{{WRITER_PHASE_END_OF_FILE, 0, 0, 0},
                 "Programming [##############################] 0 of 0 KBytes  End Of File"},
        LiveCase{{WRITER_PHASE_RESET_WAIT, 24, 384 * KB, 384 * KB},
                 "Waiting for reset  24 s elapsed"},
        LiveCase{{WRITER_PHASE_COMPLETE, 0, 384 * KB, 384 * KB}, "Progamming complete"},
        // After a write error the line stays where the image stopped.
        LiveCase{{WRITER_PHASE_CLOSING_PROBE, 0, 4 * KB, 384 * KB},
                 "Programming [..............................] 4 of 384 KBytes"}));

// The records of a run of a 20 KByte image, as the plain output sees them.
TEST(PlainProgressLines, EveryPhaseEveryFifthSecondAndEachTenthOfTheImage) {
    std::vector<WriterProgress> records;
    for (int second = 0; second < 15; ++second) {
        records.push_back({WRITER_PHASE_DELAY, second, 0, 20 * KB});
    }
    for (uint32_t bytes = 0; bytes <= 20 * KB; bytes += 512) {
        records.push_back({WRITER_PHASE_IMAGE, 0, bytes, 20 * KB});
    }
    records.push_back({WRITER_PHASE_END_OF_FILE, 0, 20 * KB, 20 * KB});
    records.push_back({WRITER_PHASE_RESET_WAIT, 0, 20 * KB, 20 * KB});
    records.push_back({WRITER_PHASE_RESET_WAIT, 1, 20 * KB, 20 * KB});
    records.push_back({WRITER_PHASE_COMPLETE, 0, 20 * KB, 20 * KB});
    records.push_back({WRITER_PHASE_CLOSING_PROBE, 0, 20 * KB, 20 * KB});
    records.push_back({WRITER_PHASE_DONE, 0, 20 * KB, 20 * KB});
    PlainProgress progress;
    std::vector<std::string> lines;
    for (const WriterProgress& record : records) {
        for (const std::string& line : progress.linesFor(record)) {
            lines.push_back(line);
        }
    }
    std::vector<std::string> expected = {
        "Delaying 15 seconds",
        "Delaying 15 seconds  0 s elapsed",
        "Delaying 15 seconds  5 s elapsed",
        "Delaying 15 seconds  10 s elapsed",
    };
    for (int tenth = 0; tenth <= 10; ++tenth) {
        std::string bar = std::string(3 * tenth, '#') + std::string(30 - 3 * tenth, '.');
        expected.push_back("Programming [" + bar + "] " + std::to_string(2 * tenth) +
                           " of 20 KBytes");
    }
    expected.insert(expected.end(),
                    {"Programming [##############################] 20 of 20 KBytes  End Of File",
                     "Waiting for reset", "Waiting for reset  0 s elapsed", "Progamming complete"});
    EXPECT_EQ(lines, expected);
}

} // namespace

// The live line rewritten on a terminal that takes the line erase, and on a console that would
// print it as text (before Windows 10), where spaces cover what the longer line left.
struct ConsoleCase {
    bool escapes;
    const char* written;
};

class LiveLineOnAConsole : public testing::TestWithParam<ConsoleCase> {};

TEST_P(LiveLineOnAConsole, OverwritesTheLongerLineWithNothingLeft) {
    ConsoleDouble console;
    console.setTerminal(CONSOLE_OUTPUT, true);
    if (!GetParam().escapes) {
        console.refuseEscapes();
    }
    setupConsoleOutput(false);
    testing::internal::CaptureStdout();
    showLiveLine("Waiting for reset  24 s elapsed");
    showLiveLine("Progamming complete");
    endLiveLine();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Consoles, LiveLineOnAConsole,
                         testing::Values(ConsoleCase{true, "\r\033[KWaiting for reset  24 s elapsed"
                                                           "\r\033[KProgamming complete\n"},
                                         ConsoleCase{false,
                                                     "\rWaiting for reset  24 s elapsed"
                                                     "\rProgamming complete            \n"}));
