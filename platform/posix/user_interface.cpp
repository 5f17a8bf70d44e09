// User-interface service on Linux, until a front end installs its own: message boxes are
// printed on standard error, and a question is declined, since nobody can answer it here.
#include "platform/user_interface.h"

#include <cstdio>

static MessageBoxAnswer posixMessageBox(const char* text, const char* caption,
                                        MessageBoxButtons buttons) {
    fprintf(stderr, "[%s] %s\n", caption != nullptr ? caption : "Error", text);
    return buttons == MESSAGE_BOX_YES_NO ? MESSAGE_BOX_ANSWER_NO : MESSAGE_BOX_ANSWER_OK;
}

static const UserInterfaceService posixUserInterface = {
    posixMessageBox,
};

const UserInterfaceService* userInterfaceService = &posixUserInterface;
