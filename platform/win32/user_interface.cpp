// User-interface service on Windows: the real dialog's controls, driven by window messages, and
// message boxes with no owner window.
#include "platform/user_interface.h"

#include <windows.h>

// The program's static objects are built on its main thread, which runs the message loop.
static const DWORD userInterfaceThread = GetCurrentThreadId();

static HWND window(ControlHandle control) {
    return reinterpret_cast<HWND>(control);
}

static MessageBoxAnswer win32MessageBox(const char* text, const char* caption,
                                        MessageBoxButtons buttons) {
    UINT type = buttons == MESSAGE_BOX_YES_NO ? MB_YESNO : MB_OK;
    return static_cast<MessageBoxAnswer>(MessageBoxA(nullptr, text, caption, type));
}

static ControlHandle win32GetControl(DialogWindow dialog, int controlId) {
    return reinterpret_cast<ControlHandle>(GetDlgItem(reinterpret_cast<HWND>(dialog), controlId));
}

static void win32SetText(ControlHandle control, const char* text) {
    SendMessageA(window(control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

static uint32_t win32GetEditLine(ControlHandle edit, char* buffer) {
    return static_cast<uint32_t>(
        SendMessageA(window(edit), EM_GETLINE, 0, reinterpret_cast<LPARAM>(buffer)));
}

static void win32Enable(ControlHandle control, bool enabled) {
    EnableWindow(window(control), enabled ? TRUE : FALSE);
}

static void win32Show(ControlHandle control, bool visible) {
    ShowWindow(window(control), visible ? SW_SHOW : SW_HIDE);
}

static void win32ComboReset(ControlHandle combo) {
    SendMessageA(window(combo), CB_RESETCONTENT, 0, 0);
}

static int win32ComboAddString(ControlHandle combo, const char* text) {
    return static_cast<int>(
        SendMessageA(window(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

static void win32ComboSelect(ControlHandle combo, int index) {
    SendMessageA(window(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

static int win32ComboGetSelection(ControlHandle combo) {
    return static_cast<int>(SendMessageA(window(combo), CB_GETCURSEL, 0, 0));
}

// PostQuitMessage only reaches the calling thread's queue: a request from the flash writer
// thread is posted to the user-interface thread instead, so that the dialog really ends.
static void win32PostQuit(int exitCode) {
    if (GetCurrentThreadId() == userInterfaceThread) {
        PostQuitMessage(exitCode);
    } else {
        PostThreadMessageA(userInterfaceThread, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
    }
}

static void win32EndDialog(DialogWindow dialog, intptr_t result) {
    EndDialog(reinterpret_cast<HWND>(dialog), result);
}

static const UserInterfaceService win32UserInterface = {
    .messageBox = win32MessageBox,
    .getControl = win32GetControl,
    .setText = win32SetText,
    .getEditLine = win32GetEditLine,
    .enable = win32Enable,
    .show = win32Show,
    .comboReset = win32ComboReset,
    .comboAddString = win32ComboAddString,
    .comboSelect = win32ComboSelect,
    .comboGetSelection = win32ComboGetSelection,
    .postQuit = win32PostQuit,
    .endDialog = win32EndDialog,
};

const UserInterfaceService* userInterfaceService = &win32UserInterface;
