#include "cli/progress.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct LiveCase {
    const char* phase;
    const char* count;
    const char* line;
};

class LiveProgress : public testing::TestWithParam<LiveCase> {};

TEST_P(LiveProgress, ShowsThePhaseAndItsCount) {
    EXPECT_EQ(progressLiveLine(GetParam().phase, GetParam().count), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LiveProgress,
    testing::Values(
        LiveCase{"Printer responding", "", "Printer responding"},
        LiveCase{"Delaying 15 seconds", "", "Delaying 15 seconds"},
        LiveCase{"Delaying 15 seconds", "3 seconds elapsed", "Delaying 15 seconds  3 s elapsed"},
        // The count of the phase before is not read as a count of this one.
        LiveCase{"Programming 384 KBytes", "14 seconds elapsed",
                 "Programming [..............................] 0 of 384 KBytes"},
        LiveCase{"Programming 384 KBytes", "192 KBytes programmed\r\n",
                 "Programming [###############...............] 192 of 384 KBytes"},
        LiveCase{"Programming 384 KBytes", "End Of File",
                 "Programming [##############################] 384 of 384 KBytes  End Of File"},
        LiveCase{"Programming 0 KBytes", "End Of File",
                 "Programming [##############################] 0 of 0 KBytes  End Of File"},
        LiveCase{"Waiting for reset", "End Of File", "Waiting for reset"},
        LiveCase{"Waiting for reset", "24 seconds elapsed", "Waiting for reset  24 s elapsed"},
        LiveCase{"Progamming complete", " ", "Progamming complete"}));

// The writer's texts in the order of a run of a 20 KByte image, as the plain output sees them.
TEST(PlainProgressLines, EveryPhaseEveryFifthSecondAndEachTenthOfTheImage) {
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"Printer responding", ""},
        {"Delaying 15 seconds", ""},
        {"Delaying 15 seconds", "0 seconds elapsed"},
        {"Delaying 15 seconds", "1 seconds elapsed"},
        {"Delaying 15 seconds", "5 seconds elapsed"},
        {"Delaying 15 seconds", "14 seconds elapsed"},
        {"Programming 20 KBytes", "14 seconds elapsed"},
        {"Programming 20 KBytes", "0 KBytes programmed\r\n"},
        {"Programming 20 KBytes", "0 KBytes programmed\r\n"},
        {"Programming 20 KBytes", "1 KBytes programmed\r\n"},
        {"Programming 20 KBytes", "2 KBytes programmed\r\n"},
        {"Programming 20 KBytes", "3 KBytes programmed\r\n"},
        {"Programming 20 KBytes", "End Of File"},
        {"Waiting for reset", "End Of File"},
        {"Waiting for reset", "0 seconds elapsed"},
        {"Progamming complete", "0 seconds elapsed"},
        {"Progamming complete", " "},
    };
    PlainProgress progress;
    std::vector<std::string> lines;
    for (const auto& [phase, count] : texts) {
        std::string line = progress.lineFor(phase, count);
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    const std::vector<std::string> expected = {
        "Printer responding",
        "Delaying 15 seconds",
        "Delaying 15 seconds  0 s elapsed",
        "Delaying 15 seconds  5 s elapsed",
        "Programming [..............................] 0 of 20 KBytes",
        "Programming [###...........................] 2 of 20 KBytes",
        "Programming [##############################] 20 of 20 KBytes  End Of File",
        "Waiting for reset",
        "Waiting for reset  0 s elapsed",
        "Progamming complete",
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
