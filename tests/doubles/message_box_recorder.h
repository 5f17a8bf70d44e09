#pragma once

// The user-interface service's message boxes for tests: each box shown is recorded, and
// answered from a queue the test fills (OK for a plain box and No for a question when the
// queue is empty). Installed for the lifetime of the object.

#include "platform/user_interface.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct ShownMessageBox {
    std::string text;
    bool hasCaption; // false: the system's default caption
    std::string caption;
    MessageBoxButtons buttons;
};

class MessageBoxRecorder {
  public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answerNext(MessageBoxAnswer answer);
    std::vector<ShownMessageBox> shown() const;
    std::vector<std::string> texts() const;
    void clear();

  private:
    static MessageBoxAnswer messageBox(const char* text, const char* caption,
                                       MessageBoxButtons buttons);

    mutable std::mutex mutex_;
    std::deque<MessageBoxAnswer> answers_;
    std::vector<ShownMessageBox> shown_;
    const UserInterfaceService* previous_;
    static MessageBoxRecorder* active_;
    static const UserInterfaceService service_;
};
