#include "tests/doubles/message_box_recorder.h"

MessageBoxRecorder* MessageBoxRecorder::active_ = nullptr;

const UserInterfaceService MessageBoxRecorder::service_ = {
    MessageBoxRecorder::messageBox,
};

MessageBoxRecorder::MessageBoxRecorder() : previous_(userInterfaceService) {
    active_ = this;
    userInterfaceService = &service_;
}

MessageBoxRecorder::~MessageBoxRecorder() {
    userInterfaceService = previous_;
    active_ = nullptr;
}

MessageBoxAnswer MessageBoxRecorder::messageBox(const char* text, const char* caption,
                                                MessageBoxButtons buttons) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->shown_.push_back(
        {text, caption != nullptr, caption != nullptr ? caption : "", buttons});
    if (!active_->answers_.empty()) {
        MessageBoxAnswer answer = active_->answers_.front();
        active_->answers_.pop_front();
        return answer;
    }
    return buttons == MESSAGE_BOX_YES_NO ? MESSAGE_BOX_ANSWER_NO : MESSAGE_BOX_ANSWER_OK;
}

void MessageBoxRecorder::answerNext(MessageBoxAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
}

std::vector<ShownMessageBox> MessageBoxRecorder::shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

std::vector<std::string> MessageBoxRecorder::texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const ShownMessageBox& box : shown_) {
        texts.push_back(box.text);
    }
    return texts;
}

void MessageBoxRecorder::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    answers_.clear();
}
