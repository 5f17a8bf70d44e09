#include "cli/dialog_front.h"

#include "resources/resource.h"
#include "tests/doubles/console_double.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const char QUESTION[] = "New version same as old version, continue?";

class MessageBoxes : public testing::Test {
  protected:
    void SetUp() override {
        dialogModelReset();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        testing::internal::GetCapturedStdout();
        dialogModelReset();
    }

    MessageBoxAnswer ask() {
        return userInterfaceService->messageBox(QUESTION, "Firmware update", MESSAGE_BOX_YES_NO);
    }

    ConsoleDouble console_;
};

struct QuestionCase {
    const char* name;
    bool assumeYes;
    bool terminal;
    std::vector<std::string> typed;
    MessageBoxAnswer answer;
    int linesRead;
};

class Questions : public MessageBoxes, public testing::WithParamInterface<QuestionCase> {};

TEST_P(Questions, AreAnsweredByYesByTheTerminalOrRefused) {
    const QuestionCase& example = GetParam();
    installDialogFront(example.assumeYes);
    console_.setTerminal(CONSOLE_INPUT, example.terminal);
    for (const std::string& line : example.typed) {
        console_.typeLine(line);
    }
    EXPECT_EQ(ask(), example.answer);
    EXPECT_EQ(console_.linesRead(), example.linesRead);
    ShownBox shown = shownBoxes().back();
    EXPECT_TRUE(shown.question);
    EXPECT_EQ(shown.text, QUESTION);
    EXPECT_EQ(shown.caption, "Firmware update");
    EXPECT_EQ(shown.answeredYes, example.answer == MESSAGE_BOX_ANSWER_YES);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Questions,
    testing::Values(QuestionCase{"YesSwitch", true, false, {}, MESSAGE_BOX_ANSWER_YES, 0},
                    QuestionCase{
                        "YesSwitchOnTerminal", true, true, {"n"}, MESSAGE_BOX_ANSWER_YES, 0},
                    QuestionCase{"NoTerminal", false, false, {"y"}, MESSAGE_BOX_ANSWER_NO, 0},
                    QuestionCase{"TypedY", false, true, {"y"}, MESSAGE_BOX_ANSWER_YES, 1},
                    QuestionCase{"TypedYes", false, true, {"yes"}, MESSAGE_BOX_ANSWER_YES, 1},
                    QuestionCase{"TypedN", false, true, {"n"}, MESSAGE_BOX_ANSWER_NO, 1},
                    QuestionCase{"EmptyLine", false, true, {""}, MESSAGE_BOX_ANSWER_NO, 1},
                    QuestionCase{"SomethingElse", false, true, {"sure"}, MESSAGE_BOX_ANSWER_NO, 1},
                    QuestionCase{"EndOfInput", false, true, {}, MESSAGE_BOX_ANSWER_NO, 0}),
    [](const testing::TestParamInfo<QuestionCase>& instance) { return instance.param.name; });

TEST_F(MessageBoxes, APlainBoxIsRecordedWithTheDefaultCaption) {
    installDialogFront(false);
    EXPECT_EQ(userInterfaceService->messageBox("Not Ready", nullptr, MESSAGE_BOX_OK),
              MESSAGE_BOX_ANSWER_OK);
    ShownBox shown = shownBoxes().back();
    EXPECT_EQ(shown.caption, "Error");
    EXPECT_EQ(shown.text, "Not Ready");
    EXPECT_FALSE(shown.question);
}

TEST_F(MessageBoxes, ADeclinedQuestionIsRemembered) {
    installDialogFront(false);
    console_.setTerminal(CONSOLE_INPUT, false);
    ask();
    EXPECT_TRUE(questionDeclined());
}

// An interrupt while a question waits for its typed answer answers it No: the command that
// asked goes on from there and has ended before the interrupt holds the command lock.
TEST_F(MessageBoxes, AnInterruptAnswersAWaitingQuestionNo) {
    installDialogFront(false);
    console_.setTerminal(CONSOLE_INPUT, true);
    console_.keepInputOpen();
    MessageBoxAnswer answer = MESSAGE_BOX_ANSWER_YES;
    dialogModelSetCommandHandler([this, &answer](int, int) { answer = ask(); });
    std::thread command([] { clickControl(IDC_REFRESH_BUTTON); });
    console_.waitForRead();
    {
        CommandLockForInterrupt interrupt;
        EXPECT_EQ(answer, MESSAGE_BOX_ANSWER_NO);
        EXPECT_FALSE(shownBoxes().back().answeredYes);
    }
    command.join();
}

} // namespace
