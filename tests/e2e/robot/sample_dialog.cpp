// A small dialog for testing tf-robot: a message box, a yes/no question, an edit whose changes
// are copied to a static, a combo box whose selection is shown in another, a hidden and a
// disabled button. It keeps the habits of the real program: ANSI calls, a message box without
// a caption, texts changed from the dialog's own notifications.
#include <windows.h>

#include <cstdio>

#include "sample_dialog.h"

namespace {

void copyEditText(HWND dialog) {
    char text[256];
    GetDlgItemTextA(dialog, IDC_EDIT, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_EDIT_COPY, text);
}

void showSelection(HWND dialog) {
    char text[32];
    snprintf(text, sizeof text, "selected %d",
             static_cast<int>(SendDlgItemMessageA(dialog, IDC_COMBO, CB_GETCURSEL, 0, 0)));
    SetDlgItemTextA(dialog, IDC_COMBO_INDEX, text);
}

void askQuestion(HWND dialog) {
    int answer = MessageBoxA(dialog, "Proceed with the sample?", "Question", MB_YESNO);
    SetDlgItemTextA(dialog, IDC_ANSWER, answer == IDYES ? "yes" : "no");
}

INT_PTR command(HWND dialog, WORD id, WORD notification) {
    if (id == IDC_SHOW_MESSAGE && notification == BN_CLICKED)
        MessageBoxA(dialog, "Hello from the sample\rSecond line", nullptr, MB_OK);
    else if (id == IDC_ASK && notification == BN_CLICKED)
        askQuestion(dialog);
    else if (id == IDC_EDIT && notification == EN_CHANGE)
        copyEditText(dialog);
    else if (id == IDC_COMBO && notification == CBN_SELCHANGE)
        showSelection(dialog);
    else if (id == IDCANCEL)
        EndDialog(dialog, 0);
    else
        return FALSE;
    return TRUE;
}

INT_PTR CALLBACK sampleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, IDC_COMBO, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>("First entry"));
        SendDlgItemMessageA(dialog, IDC_COMBO, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>("Second entry"));
        return TRUE;
    case WM_COMMAND:
        return command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(SAMPLE_DIALOG), nullptr, sampleDialogProc, 0));
}
