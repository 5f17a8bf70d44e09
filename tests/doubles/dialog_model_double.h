#pragma once

// The user-interface service for tests: the in-memory dialog model, reset to its template
// state, with every change and every message box recorded and the message boxes answered from
// a queue the test fills (OK for a plain box and No for a question when the queue is empty).
// Installed for the lifetime of the object; the model is reset again when it ends.

#include "dialog/dialog_model.h"

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

class DialogModelDouble {
  public:
    DialogModelDouble();
    ~DialogModelDouble();
    DialogModelDouble(const DialogModelDouble&) = delete;
    DialogModelDouble& operator=(const DialogModelDouble&) = delete;

    // Message boxes.
    void answerNext(MessageBoxAnswer answer);
    std::vector<ShownMessageBox> shown() const;
    std::vector<std::string> texts() const;
    void clear();

    // Every change of the dialog, in order.
    std::vector<DialogChange> changes() const;
    void clearChanges();

    // The dialog window for getControl, and one control's state (a failed test when the
    // identifier names no control).
    DialogWindow window() const;
    DialogItemState control(int controlId) const;
    std::string text(int controlId) const;
    bool visible(int controlId) const;
    bool enabled(int controlId) const;

    // Whether the dialog was ended, and with which result.
    bool dialogEnded(intptr_t* result) const;

  private:
    MessageBoxAnswer answer(const char* text, const char* caption, MessageBoxButtons buttons);

    mutable std::mutex mutex_;
    std::deque<MessageBoxAnswer> answers_;
    std::vector<ShownMessageBox> shown_;
    std::vector<DialogChange> changes_;
    const UserInterfaceService* previous_;
};
