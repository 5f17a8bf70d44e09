#pragma once

// User-interface service: what the portable code asks of the dialog and of message boxes.
//
// On Windows this is the real dialog (resource 103) driven by window messages, and MessageBoxA;
// on Linux and in tests the in-memory dialog model of dialog/dialog_model.h, built from the
// same template. Message boxes are modal and have no owner window; the calling thread waits for
// the answer. The control requests may come from any thread: on Windows they are sent
// synchronously to the user-interface thread, which must be running its message loop.

#include "platform/designated_only.h"

#include <cstdint>

// A dialog window and one of its controls (an HWND on Windows), carried as integers. A control
// that is not found is NO_CONTROL; every request on it does nothing and reads nothing.
typedef intptr_t DialogWindow;
typedef intptr_t ControlHandle;
constexpr ControlHandle NO_CONTROL = 0;

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

// What a control reports to its dialog, numbered as the Windows BN_CLICKED, CBN_SELCHANGE and
// EN_CHANGE notification codes (the high 16 bits of a WM_COMMAND's first parameter).
constexpr int CONTROL_NOTIFY_CLICKED = 0;
constexpr int CONTROL_NOTIFY_SELECTION_CHANGED = 1;
constexpr int CONTROL_NOTIFY_EDIT_CHANGED = 0x300;

struct UserInterfaceService {
    DesignatedOnly designatedOnly{};

    // Shows a modal message box. A null caption shows the system's default caption.
    MessageBoxAnswer (*messageBox)(const char* text, const char* caption,
                                   MessageBoxButtons buttons);

    // The dialog's control with this identifier (GetDlgItem), or NO_CONTROL.
    ControlHandle (*getControl)(DialogWindow dialog, int controlId);

    // Replaces a control's text (WM_SETTEXT). Setting an edit's text makes it report
    // CONTROL_NOTIFY_EDIT_CHANGED to its dialog before the request returns.
    void (*setText)(ControlHandle control, const char* text);

    // Reads line 0 of an edit control the EM_GETLINE way: the first 16-bit word of buffer holds
    // the most characters to copy; the control copies at most that many from the start of
    // buffer, writes no terminating NUL and returns the count (0 for anything but an edit).
    uint32_t (*getEditLine)(ControlHandle edit, char* buffer);

    // Enables or disables a control for input (EnableWindow).
    void (*enable)(ControlHandle control, bool enabled);

    // Shows or hides a control (ShowWindow with SW_SHOW or SW_HIDE).
    void (*show)(ControlHandle control, bool visible);

    // The combo box requests: empty the list (CB_RESETCONTENT); append one entry (CB_ADDSTRING,
    // the list is not sorted) and return its index; select an entry, or none with -1
    // (CB_SETCURSEL; this does not report a selection change); the selected index or -1
    // (CB_GETCURSEL).
    void (*comboReset)(ControlHandle combo);
    int (*comboAddString)(ControlHandle combo, const char* text);
    void (*comboSelect)(ControlHandle combo, int index);
    int (*comboGetSelection)(ControlHandle combo);

    // Asks the user-interface thread's message loop to end with this exit code
    // (PostQuitMessage on that thread), from whichever thread calls it. Returns at once.
    void (*postQuit)(int exitCode);

    // Ends the modal dialog (EndDialog): the platform's modal dialog call returns result once
    // the dialog procedure has returned. Called on the user-interface thread only.
    void (*endDialog)(DialogWindow dialog, intptr_t result);
};

extern const UserInterfaceService* userInterfaceService;

// A message box with one OK button and the system's default caption.
inline void showMessage(const char* text) {
    userInterfaceService->messageBox(text, nullptr, MESSAGE_BOX_OK);
}
