#include "tests/doubles/dialog_model_double.h"

#include <gtest/gtest.h>

DialogModelDouble::DialogModelDouble() : previous_(userInterfaceService) {
    dialogModelReset();
    dialogModelSetMessageBoxResponder(
        [this](const char* text, const char* caption, MessageBoxButtons buttons) {
            return answer(text, caption, buttons);
        });
    dialogModelSetObserver([this](const DialogChange& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        changes_.push_back(change);
    });
    userInterfaceService = &dialogModelUserInterface;
}

DialogModelDouble::~DialogModelDouble() {
    userInterfaceService = previous_;
    dialogModelReset();
}

MessageBoxAnswer DialogModelDouble::answer(const char* text, const char* caption,
                                           MessageBoxButtons buttons) {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.push_back({text, caption != nullptr, caption != nullptr ? caption : "", buttons});
    if (!answers_.empty()) {
        MessageBoxAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return buttons == MESSAGE_BOX_YES_NO ? MESSAGE_BOX_ANSWER_NO : MESSAGE_BOX_ANSWER_OK;
}

void DialogModelDouble::answerNext(MessageBoxAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
}

std::vector<ShownMessageBox> DialogModelDouble::shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

std::vector<std::string> DialogModelDouble::texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const ShownMessageBox& box : shown_) {
        texts.push_back(box.text);
    }
    return texts;
}

void DialogModelDouble::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    answers_.clear();
}

std::vector<DialogChange> DialogModelDouble::changes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

void DialogModelDouble::clearChanges() {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.clear();
}

DialogWindow DialogModelDouble::window() const {
    return dialogModelWindow();
}

DialogItemState DialogModelDouble::control(int controlId) const {
    DialogItemState state{};
    EXPECT_TRUE(dialogModelControlState(controlId, &state)) << "no control " << controlId;
    return state;
}

std::string DialogModelDouble::text(int controlId) const {
    return control(controlId).text;
}

bool DialogModelDouble::visible(int controlId) const {
    return control(controlId).visible;
}

bool DialogModelDouble::enabled(int controlId) const {
    return control(controlId).enabled;
}

bool DialogModelDouble::dialogEnded(intptr_t* result) const {
    return dialogModelDialogEnded(result);
}
