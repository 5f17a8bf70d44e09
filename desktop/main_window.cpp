// The Windows program's shell: the entry point, the single-instance refusal, the main window
// (registered and created, never shown) and the message loop. The main window's creation
// message opens the update dialog modally, so the whole working life of the tool runs inside
// CreateWindowExA; when the dialog ends, the quit message is already waiting for the loop.
//
// The one front end that talks to Windows itself, beside the platform layer: it owns the
// process's windows and message loop, and drives the dialog of app/.
#include "app/run.h"
#include "app/update_dialog.h"
#include "flash/flash_writer.h"
#include "platform/network.h"
#include "platform/user_interface.h"
#include "resources/resource.h"

#include <windows.h>

constexpr int MAIN_WINDOW_TEXT_SIZE = 100;

static char mainWindowTitle[MAIN_WINDOW_TEXT_SIZE];
static char mainWindowClass[MAIN_WINDOW_TEXT_SIZE];
// The module, saved when the main window is created and used for every later resource load.
static HINSTANCE appInstance;

static const char EXIT_DURING_UPDATE_TEXT[] = "Cannot exit while printer FW is being updated";

// The dialog's procedure is portable and takes the window as an integer.
static INT_PTR CALLBACK updateDialogThunk(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    return updateDialogProc(reinterpret_cast<DialogWindow>(dialog), message, first, second);
}

// Runs the update dialog to its end. The modal loop ends on the dialog's exit sequence, or
// when a probe that gave up has posted the quit message (the loop then posts it again for the
// main loop). Only the exit sequence has put the spooler's printers back, so the run's end puts
// them back here for the other road; it does nothing the second time.
static void runUpdateDialog(HWND owner) {
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_UPDATE_DIALOG), owner, updateDialogThunk, 0);
    finishRun();
}

static void paintMainWindow(HWND window, const char* text) {
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    DrawTextA(context, text, -1, &client, DT_CENTER);
    EndPaint(window, &paint);
}

// The window is destroyed only through its menu's "Exit", which nobody can reach while the
// dialog runs; the refusal keeps a running writer's printer from losing its tool all the same.
static void destroyMainWindow() {
    if (updateInProgress) {
        showMessage(EXIT_DURING_UPDATE_TEXT);
        return;
    }
    networkService->cleanup();
    PostQuitMessage(0);
}

static LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    char text[MAIN_WINDOW_TEXT_SIZE];
    LoadStringA(appInstance, IDS_MAIN_WINDOW_TEXT, text, sizeof text);
    switch (message) {
    case WM_CREATE:
        runUpdateDialog(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(first) == IDM_ABOUT) {
            runUpdateDialog(window);
            return 0;
        }
        if (LOWORD(first) == IDM_EXIT) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_PAINT:
        paintMainWindow(window, text);
        return 0;
    case WM_DESTROY:
        destroyMainWindow();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, first, second);
}

static void registerMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_LARGE_ICON));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = mainWindowClass;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL_ICON));
    RegisterClassExA(&windowClass);
}

// The window is never shown: it only owns the dialog and receives the quit path.
static bool createMainWindow(HINSTANCE instance) {
    appInstance = instance;
    HWND window =
        CreateWindowExA(0, mainWindowClass, mainWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return false;
    }
    UpdateWindow(window);
    return true;
}

static int runMessageLoop(HACCEL accelerators) {
    MSG message = {};
    // A failed get (-1) ends the loop as the quit message does, instead of spinning on it.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The refusal, when another tool of the family runs, has been shown. A run that did not end
    // may have left printers on "FILE:": the start has put them back, and the user is told.
    RunStart start;
    if (!beginRun(RUN_SCOPE_DIALOG, nullptr, &start)) {
        return 0;
    }
    if (start.recoveryText[0] != '\0') {
        showMessage(start.recoveryText);
    }
    LoadStringA(instance, IDS_MAIN_WINDOW_TITLE, mainWindowTitle, sizeof mainWindowTitle);
    LoadStringA(instance, IDS_MAIN_WINDOW_CLASS, mainWindowClass, sizeof mainWindowClass);
    registerMainWindowClass(instance);
    if (!createMainWindow(instance)) {
        return 0;
    }
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    return runMessageLoop(accelerators);
}
