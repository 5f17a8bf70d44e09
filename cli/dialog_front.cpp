#include "cli/dialog_front.h"

#include "app/update_dialog.h"
#include "cli/console_output.h"
#include "dialog/dialog_controls.h"
#include "flash/flash_writer.h"
#include "platform/console.h"
#include "resources/resource.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr uint32_t ANSWER_SIZE = 64;

constexpr auto INTERRUPT_YIELD = std::chrono::milliseconds(20);

std::mutex commandMutex;
std::atomic<std::thread::id> commandOwner;
// An interrupt waits for the command lock: the next command waits until it has been dealt with.
std::atomic<bool> interruptPending{false};

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

// Holds the command lock for one command.
template <typename Work> auto asCommand(Work work) {
    lockCommands();
    auto result = work();
    unlockCommands();
    return result;
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

// The user's answer on the terminal. The command lock is let go meanwhile, so that an
// interrupt can end the run while the question waits.
bool askOnTerminal(const ShownBox& box) {
    printPrompt(boxLines(box) + " [y/N] ");
    bool heldHere = commandOwner.load() == std::this_thread::get_id();
    if (heldHere) {
        unlockCommands();
    }
    char answer[ANSWER_SIZE];
    bool typed = consoleService->readLine(answer, sizeof answer);
    if (typed) {
        promptAnswered();
    }
    if (heldHere) {
        lockCommands();
    }
    return typed && answeredYes(answer);
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
    commandMutex.lock();
    while (interruptPending.load()) {
        commandMutex.unlock();
        std::this_thread::sleep_for(INTERRUPT_YIELD);
        commandMutex.lock();
    }
    commandOwner.store(std::this_thread::get_id());
}

bool tryLockCommandsForInterrupt() {
    interruptPending = true;
    if (!commandMutex.try_lock()) {
        return false;
    }
    commandOwner.store(std::this_thread::get_id());
    return true;
}

void waitForCommandsForInterrupt() {
    commandMutex.lock();
    commandOwner.store(std::this_thread::get_id());
}

void unlockCommands() {
    commandOwner.store(std::thread::id());
    commandMutex.unlock();
}

void unlockCommandsAfterInterrupt() {
    interruptPending = false;
    unlockCommands();
}

bool answeredYes(const char* answer) {
    return strcmp(answer, "y") == 0 || strcmp(answer, "Y") == 0 || strcmp(answer, "yes") == 0 ||
           strcmp(answer, "Yes") == 0 || strcmp(answer, "YES") == 0;
}
