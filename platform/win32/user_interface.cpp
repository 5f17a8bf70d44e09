// User-interface service on Windows: message boxes with no owner window.
#include "platform/user_interface.h"

#include <windows.h>

static MessageBoxAnswer win32MessageBox(const char* text, const char* caption,
                                        MessageBoxButtons buttons) {
    UINT type = buttons == MESSAGE_BOX_YES_NO ? MB_YESNO : MB_OK;
    return static_cast<MessageBoxAnswer>(MessageBoxA(nullptr, text, caption, type));
}

static const UserInterfaceService win32UserInterface = {
    win32MessageBox,
};

const UserInterfaceService* userInterfaceService = &win32UserInterface;
