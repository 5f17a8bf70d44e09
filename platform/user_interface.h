#pragma once

// User-interface service: what the portable code asks of the dialog and of message boxes.
//
// On Windows this is the real dialog and MessageBoxA; on Linux and in tests an in-memory
// model. Message boxes are modal and have no owner window; the calling thread waits for the
// answer.

#include <cstdint>

enum MessageBoxButtons {
    MESSAGE_BOX_OK,     // one OK button
    MESSAGE_BOX_YES_NO, // Yes and No
};

// The answers, numbered as the Windows IDOK, IDYES and IDNO.
enum MessageBoxAnswer {
    MESSAGE_BOX_ANSWER_OK = 1,
    MESSAGE_BOX_ANSWER_YES = 6,
    MESSAGE_BOX_ANSWER_NO = 7,
};

struct UserInterfaceService {
    // Shows a modal message box. A null caption shows the system's default caption.
    MessageBoxAnswer (*messageBox)(const char* text, const char* caption,
                                   MessageBoxButtons buttons);
};

extern const UserInterfaceService* userInterfaceService;

// A message box with one OK button and the system's default caption.
inline void showMessage(const char* text) {
    userInterfaceService->messageBox(text, nullptr, MESSAGE_BOX_OK);
}
