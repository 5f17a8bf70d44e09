#pragma once

// The update dialog's procedure: the start sequence and every command of the dialog. It is
// portable: on Windows the platform's modal dialog call delivers the real window messages to
// it; on Linux the command-line front end sends the same messages through the in-memory dialog
// model, so both front ends behave as one dialog.

#include "platform/user_interface.h"

#include <cstdint>

// The two messages the procedure handles, numbered as Windows numbers them.
constexpr uint32_t DIALOG_MESSAGE_INIT = 0x0110;    // WM_INITDIALOG
constexpr uint32_t DIALOG_MESSAGE_COMMAND = 0x0111; // WM_COMMAND

// The dialog's own commands, numbered as Windows numbers them: Enter with no button focused, and
// the Escape key or the caption's close box.
constexpr int DIALOG_COMMAND_OK = 1;     // IDOK
constexpr int DIALOG_COMMAND_CANCEL = 2; // IDCANCEL

// The dialog's start (DIALOG_MESSAGE_INIT) up to its first probe: the writer's closing probes
// connected, the controls bound, the update controls disabled, the default address in the
// edits, the mode text set and the logo buttons hidden. The command-line front end starts with this
// alone when it probes over TCP, so that the local probe does not move the spooler's printers for
// nothing.
void prepareUpdateDialog(DialogWindow dialog);

// firstParameter of a command: the notification code in the high 16 bits, the control
// identifier in the low 16 bits. Returns nonzero when the message was handled.
intptr_t updateDialogProc(DialogWindow dialog, uint32_t message, uintptr_t firstParameter,
                          intptr_t secondParameter);
