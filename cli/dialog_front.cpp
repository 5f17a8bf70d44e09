#include "cli/dialog_front.h"

#include "app/update_dialog.h"
#include "cli/console_output.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_writer.h"
#include "platform/console.h"
#include "resources/resource.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr uint32_t ANSWER_SIZE = 64;

// The command lock, and what waits on it: a command for the lock, an interrupt for the command
// that runs, a question for its typed answer or an interrupt.
struct CommandLock {
    std::mutex mutex;
    std::condition_variable changed;
    bool commandRunning = false;
    int pendingInterrupts = 0; // waiting for the lock or holding it: no command starts meanwhile
    bool questionWaiting = false;
};
// Never destroyed: an interrupt may still wait on it while the process ends, and destroying a
// condition variable that a thread waits on blocks (glibc waits for its waiters to leave).
CommandLock& commandLock = *new CommandLock;

// One line typed in answer to a question, filled by the question's reader.
struct TypedAnswer {
    bool arrived = false;
    bool typed = false;
    char text[ANSWER_SIZE] = "";
};

std::mutex frontMutex;
bool answerYes = false;
std::vector<ShownBox> boxes;
bool declined = false;
std::function<void(const DialogChange&)> changeListener;

void sendCommand(int controlId, int notification) {
    uintptr_t parameter =
        (static_cast<uintptr_t>(notification) << 16) | static_cast<uintptr_t>(controlId & 0xFFFF);
    updateDialogProc(dialogModelWindow(), DIALOG_MESSAGE_COMMAND, parameter, 0);
}

void releaseCommandLock() {
    {
        std::lock_guard<std::mutex> lock(commandLock.mutex);
        commandLock.commandRunning = false;
    }
    commandLock.changed.notify_all();
}

// Holds the command lock for one command.
class CommandHold {
  public:
    CommandHold() { lockCommands(); }
    ~CommandHold() { releaseCommandLock(); }
    CommandHold(const CommandHold&) = delete;
    CommandHold& operator=(const CommandHold&) = delete;
};

template <typename Work> auto asCommand(Work work) {
    CommandHold hold;
    return work();
}

// "[caption] text", or the caption on a line of its own above a text of several lines. The
// dialog's texts end their lines with "\r", "\n" or both.
std::string boxLines(const ShownBox& box) {
    std::string text;
    for (size_t index = 0; index < box.text.size(); ++index) {
        char c = box.text[index];
        bool pair = c == '\r' && index + 1 < box.text.size() && box.text[index + 1] == '\n';
        if (!pair) {
            text += c == '\r' ? '\n' : c;
        }
    }
    text.erase(text.find_last_not_of('\n') + 1);
    bool severalLines = text.find('\n') != std::string::npos;
    return "[" + box.caption + "]" + (severalLines ? "\n" : " ") + text;
}

// The question's reader: one line of standard input, handed to the question that started it.
// A question that an interrupt answered leaves its reader waiting for a line that goes nowhere;
// the run ends then.
void readTypedAnswer(const std::shared_ptr<TypedAnswer>& answer) {
    char text[ANSWER_SIZE] = "";
    bool typed = consoleService->readLine(text, sizeof text);
    {
        std::lock_guard<std::mutex> lock(commandLock.mutex);
        answer->typed = typed;
        snprintf(answer->text, sizeof answer->text, "%s", text);
        answer->arrived = true;
    }
    commandLock.changed.notify_all();
}

// False when no thread could be made for the reader.
bool startReader(const std::shared_ptr<TypedAnswer>& answer) {
    try {
        std::thread(readTypedAnswer, answer).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// The user's answer on the terminal. It is read on a thread of its own, so that an interrupt
// need not wait for a line that may never come: an interrupt already pending, or one that
// comes while the question waits, answers No at once, and the command that asked goes on from
// there, still holding the command lock. Without a thread for the reader the answer is No, as at
// the end of the input.
bool askOnTerminal(const ShownBox& box) {
    printPrompt(boxLines(box) + " [y/N] ");
    auto answer = std::make_shared<TypedAnswer>();
    std::unique_lock<std::mutex> lock(commandLock.mutex);
    if (commandLock.pendingInterrupts > 0 || !startReader(answer)) {
        return false;
    }
    commandLock.questionWaiting = true;
    commandLock.changed.wait(
        lock, [&answer] { return answer->arrived || commandLock.pendingInterrupts > 0; });
    commandLock.questionWaiting = false;
    // Once the answer has arrived its reader is done with it; until then it may still write.
    bool arrived = answer->arrived;
    lock.unlock();
    if (!arrived) {
        return false;
    }
    if (answer->typed) {
        promptAnswered();
    }
    return answer->typed && answeredYes(answer->text);
}

bool answerQuestion(const ShownBox& box) {
    if (answerYes) {
        printUserLine(boxLines(box) + " Yes (--yes)");
        return true;
    }
    if (!consoleService->isTerminal(CONSOLE_INPUT)) {
        printUserLine(boxLines(box) + " No (no terminal to ask, and no --yes)");
        return false;
    }
    return askOnTerminal(box);
}

MessageBoxAnswer answerBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    ShownBox box = {caption != nullptr ? caption : "Error", text != nullptr ? text : "",
                    buttons == MESSAGE_BOX_YES_NO, false};
    if (!box.question) {
        printUserLine(boxLines(box));
    } else {
        box.answeredYes = answerQuestion(box);
    }
    std::lock_guard<std::mutex> lock(frontMutex);
    boxes.push_back(box);
    declined = declined || (box.question && !box.answeredYes);
    if (!box.question) {
        return MESSAGE_BOX_ANSWER_OK;
    }
    return box.answeredYes ? MESSAGE_BOX_ANSWER_YES : MESSAGE_BOX_ANSWER_NO;
}

void tellListener(const DialogChange& change) {
    std::function<void(const DialogChange&)> listener;
    {
        std::lock_guard<std::mutex> lock(frontMutex);
        listener = changeListener;
    }
    if (listener) {
        listener(change);
    }
}

} // namespace

void installDialogFront(bool assumeYes) {
    answerYes = assumeYes;
    // The front end drives the in-memory dialog, on Windows too, where the platform's own
    // user-interface service is the real dialog.
    userInterfaceService = &dialogModelUserInterface;
    dialogModelSetCommandHandler(sendCommand);
    dialogModelSetMessageBoxResponder(answerBox);
    dialogModelSetObserver(tellListener);
}

void setDialogChangeListener(std::function<void(const DialogChange&)> listener) {
    std::lock_guard<std::mutex> lock(frontMutex);
    changeListener = std::move(listener);
}

void startDialog(bool withProbe) {
    asCommand([withProbe] {
        if (withProbe) {
            updateDialogProc(dialogModelWindow(), DIALOG_MESSAGE_INIT, 0, 0);
        } else {
            // As a local probe that finds nothing leaves them: the address can be typed and
            // "Find Ethernet Printer" pressed.
            prepareUpdateDialog(dialogModelWindow());
            enableEthernetControls();
        }
        return true;
    });
}

bool clickControl(int controlId) {
    return asCommand([controlId] { return dialogModelClick(controlId); });
}

bool typeIntoEdit(int controlId, const char* text) {
    return asCommand([controlId, text] { return dialogModelType(controlId, text); });
}

bool chooseComboEntry(int controlId, int index) {
    return asCommand([controlId, index] {
        if (dialogModelSelect(controlId, index)) {
            return true;
        }
        DialogItemState combo;
        if (!dialogModelControlState(controlId, &combo) || !combo.visible || !combo.enabled ||
            combo.comboSelection != index || index < 0) {
            return false;
        }
        sendCommand(controlId, CONTROL_NOTIFY_SELECTION_CHANGED);
        return true;
    });
}

void sendControlCommand(int controlId) {
    asCommand([controlId] {
        sendCommand(controlId, CONTROL_NOTIFY_CLICKED);
        return true;
    });
}

bool pressEscape() {
    // The caller holds the command lock, and only a command sets the flag, so it cannot be set
    // between this look and the dialog's own.
    bool refused = updateInProgress.load();
    // NOLINTNEXTLINE(readability-suspicious-call-argument): the cancel command is the control id.
    sendCommand(DIALOG_COMMAND_CANCEL, CONTROL_NOTIFY_CLICKED);
    return !refused;
}

std::vector<ShownBox> shownBoxes() {
    std::lock_guard<std::mutex> lock(frontMutex);
    return boxes;
}

bool questionDeclined() {
    std::lock_guard<std::mutex> lock(frontMutex);
    return declined;
}

void lockCommands() {
    std::unique_lock<std::mutex> lock(commandLock.mutex);
    commandLock.changed.wait(
        lock, [] { return !commandLock.commandRunning && commandLock.pendingInterrupts == 0; });
    commandLock.commandRunning = true;
}

CommandLockForInterrupt::CommandLockForInterrupt() {
    bool commandGoesOn = false;
    {
        std::lock_guard<std::mutex> lock(commandLock.mutex);
        ++commandLock.pendingInterrupts;
        commandGoesOn = commandLock.commandRunning && !commandLock.questionWaiting;
    }
    commandLock.changed.notify_all(); // a question that waits is answered No
    if (commandGoesOn) {
        printUserLine("Interrupt received: it is dealt with when the current step has ended.");
    }
    std::unique_lock<std::mutex> lock(commandLock.mutex);
    commandLock.changed.wait(lock, [] { return !commandLock.commandRunning; });
    commandLock.commandRunning = true;
}

CommandLockForInterrupt::~CommandLockForInterrupt() {
    {
        std::lock_guard<std::mutex> lock(commandLock.mutex);
        --commandLock.pendingInterrupts;
        commandLock.commandRunning = false;
    }
    commandLock.changed.notify_all();
}

bool answeredYes(const char* answer) {
    return strcmp(answer, "y") == 0 || strcmp(answer, "Y") == 0 || strcmp(answer, "yes") == 0 ||
           strcmp(answer, "Yes") == 0 || strcmp(answer, "YES") == 0;
}
