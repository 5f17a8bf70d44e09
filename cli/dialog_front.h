#pragma once

// The tool's hold on the in-memory update dialog. The dialog's own procedure (updateDialogProc)
// does all the work: this front end starts the dialog, passes the user's clicks, typing and
// selections to it as the commands a Windows dialog would receive, answers its message boxes,
// and tells listeners of every change the dialog shows.
//
// Commands run one at a time, as a dialog's message loop handles one message at a time: the
// command lock is held while a command runs, a question it asks included, and free between
// commands (while the tool follows the flash writer, for one). An interrupt takes the lock to
// end the run; it goes before any command still to come, and never ends the run while a command
// runs: a question that waits for its typed answer is answered No, so that the command that
// asked ends through its own steps (an upgrade closes the socket it opened) first.

#include "dialog/dialog_model.h"

#include <functional>
#include <string>
#include <vector>

// A message box as the tool showed it.
struct ShownBox {
    std::string caption; // "Error" when the box has the system's default caption
    std::string text;
    bool question;    // Yes and No
    bool answeredYes; // for a question
};

// How questions are answered: Yes with --yes, else on the terminal, else No.
void installDialogFront(bool assumeYes);

// Tells the listener of every change of the dialog (on the thread that made it).
void setDialogChangeListener(std::function<void(const DialogChange&)> listener);

// The dialog's start. With the probe it is the whole start of the Windows dialog, ending with
// the local probe ("Refresh data"), which moves the spooler's printers. Without it, the same
// steps but the probe, and the Ethernet controls enabled as a local probe that finds nothing
// leaves them, so that the address can be typed and "Find Ethernet Printer" pressed.
void startDialog(bool withProbe);

// What the user does, each as one command. False when the control cannot take it (hidden,
// disabled, not of that kind). Choosing the entry that is already selected reports the
// selection change all the same, as picking it from the opened list does.
bool clickControl(int controlId);
bool typeIntoEdit(int controlId, const char* text);
bool chooseComboEntry(int controlId, int index);
// A command of a control the user cannot reach (the hidden "STATUS" button), sent as the
// dialog would receive it.
void sendControlCommand(int controlId);

// The Escape key (IDCANCEL): the dialog's exit sequence, or its refusal while an update runs.
// Returns true when the dialog ended the run. The caller holds the command lock.
bool pressEscape();

// Every message box so far, in order, and whether a question was answered No.
std::vector<ShownBox> shownBoxes();
bool questionDeclined();

// Takes the command lock for the rest of the run, for its end after the last command: waits
// while a command runs or an interrupt is pending. Never let go; the process ends.
void lockCommands();

// Holds the command lock for an interrupt while it lives. Its start marks the interrupt pending,
// so that no further command starts, answers No to a question that waits, and waits for the
// command that runs to end (saying so on standard output, unless that command only had its
// question to end). Its end lets go of the lock, for a run that goes on after an interrupt
// (the dialog refused to exit).
class CommandLockForInterrupt {
  public:
    CommandLockForInterrupt();
    ~CommandLockForInterrupt();
    CommandLockForInterrupt(const CommandLockForInterrupt&) = delete;
    CommandLockForInterrupt& operator=(const CommandLockForInterrupt&) = delete;
};

// Whether a line typed in answer to a question means Yes: y or yes, in either case.
bool answeredYes(const char* answer);
