#pragma once

// The in-memory dialog: dialog 103 as data, built from the same template as the resource
// script (resources/dialog_template.h). It is the user-interface service on Linux and in the
// tests, and what a front end other than the Windows dialog renders and drives.
//
// One dialog exists per process. Its state starts as the template has it: each item's text,
// and its visibility and enabled state from the WS_VISIBLE and WS_DISABLED bits of its style.
// Every request is safe from any thread (the flash writer changes texts while the front end
// reads them). The observer, the command handler and the message-box responder are called on
// the requesting thread, after the model's lock is released, so they may read the model back.

#include "platform/user_interface.h"

#include <functional>
#include <string>
#include <vector>

enum DialogChangeKind {
    DIALOG_CHANGE_TEXT,
    DIALOG_CHANGE_ENABLED,
    DIALOG_CHANGE_VISIBLE,
    DIALOG_CHANGE_COMBO_LIST,      // emptied or an entry added
    DIALOG_CHANGE_COMBO_SELECTION, // by the program or by the user
    DIALOG_CHANGE_QUIT,            // the end of the run was asked for; control id 0
    DIALOG_CHANGE_DIALOG_ENDED,    // the dialog was ended; control id 0
};

struct DialogChange {
    int controlId;
    DialogChangeKind kind;
};

// One item of the dialog as it stands.
struct DialogItemState {
    int id;
    std::string className; // "BUTTON", "STATIC", "EDIT" or "COMBOBOX"
    std::string text;
    bool visible;
    bool enabled;
    std::vector<std::string> comboEntries;
    int comboSelection; // -1: none
};

// Told of every request that was carried out on an item, whether or not its state changed, in
// the order of the requests of one thread.
typedef std::function<void(const DialogChange& change)> DialogObserver;
// What the dialog's procedure would receive as WM_COMMAND: the control and its notification
// code (CONTROL_NOTIFY_*).
typedef std::function<void(int controlId, int notification)> DialogCommandHandler;
// Answers a message box in the user's place.
typedef std::function<MessageBoxAnswer(const char* text, const char* caption,
                                       MessageBoxButtons buttons)>
    MessageBoxResponder;

// The user-interface service over the model.
extern const UserInterfaceService dialogModelUserInterface;

// Puts the dialog back to its template state, with no quit request and not ended, and forgets
// the observer, the command handler and the responder.
void dialogModelReset();

// The dialog window that getControl accepts.
DialogWindow dialogModelWindow();

void dialogModelSetObserver(DialogObserver observer);
void dialogModelSetCommandHandler(DialogCommandHandler handler);
// Without a responder a message box is written to standard error and answered OK, or No for a
// question, since nobody can answer it.
void dialogModelSetMessageBoxResponder(MessageBoxResponder responder);

// All 35 items in template order, and one item by identifier (false when there is none).
std::vector<DialogItemState> dialogModelSnapshot();
bool dialogModelControlState(int controlId, DialogItemState* state);

// Whether the end of the run was asked for, and with which exit code.
bool dialogModelQuitRequested(int* exitCode);

// Whether the dialog was ended, and with which result.
bool dialogModelDialogEnded(intptr_t* result);

// What the user does. Each works only on a visible, enabled control of the right kind and
// returns false otherwise. A click on a push button reports CONTROL_NOTIFY_CLICKED; typing
// replaces an edit's text and reports CONTROL_NOTIFY_EDIT_CHANGED; choosing a combo box entry
// that is not already selected reports CONTROL_NOTIFY_SELECTION_CHANGED.
bool dialogModelClick(int controlId);
bool dialogModelType(int controlId, const char* text);
bool dialogModelSelect(int controlId, int index);
