#include "dialog/dialog_model.h"

#include "resources/dialog_template.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Control handles are the item's template index above this base, so that no valid handle is
// NO_CONTROL or a small number that could be mistaken for one.
constexpr ControlHandle FIRST_CONTROL_HANDLE = 0x10000;
constexpr DialogWindow MODEL_WINDOW = 0x1030000;
constexpr uint32_t BUTTON_TYPE_MASK = 0xF; // BS_PUSHBUTTON is 0, BS_GROUPBOX 7

struct ItemState {
    std::string text;
    bool visible;
    bool enabled;
    std::vector<std::string> comboEntries;
    int comboSelection;
};

struct DialogModel {
    std::mutex mutex;
    ItemState items[UPDATE_DIALOG_ITEM_COUNT];
    DialogObserver observer;
    DialogCommandHandler commandHandler;
    MessageBoxResponder responder;
    bool quitRequested = false;
    int exitCode = 0;
    bool ended = false;
    intptr_t result = 0;

    DialogModel() { resetItems(); }

    void resetItems() {
        for (int index = 0; index < UPDATE_DIALOG_ITEM_COUNT; ++index) {
            const DialogItemTemplate& item = updateDialogItems[index];
            items[index] = {item.text,
                            (item.style & ITEM_STYLE_VISIBLE) != 0,
                            (item.style & ITEM_STYLE_DISABLED) == 0,
                            {},
                            -1};
        }
    }
};

DialogModel model;

int indexOfHandle(ControlHandle control) {
    ControlHandle index = control - FIRST_CONTROL_HANDLE;
    return index >= 0 && index < UPDATE_DIALOG_ITEM_COUNT ? static_cast<int>(index) : -1;
}

int indexOfId(int controlId) {
    for (int index = 0; index < UPDATE_DIALOG_ITEM_COUNT; ++index) {
        if (updateDialogItems[index].id == controlId) {
            return index;
        }
    }
    return -1;
}

bool isClass(int index, const char* className) {
    return strcmp(updateDialogItems[index].className, className) == 0;
}

DialogItemState stateOf(int index) {
    const ItemState& item = model.items[index];
    return {updateDialogItems[index].id,
            updateDialogItems[index].className,
            item.text,
            item.visible,
            item.enabled,
            item.comboEntries,
            item.comboSelection};
}

void notify(const DialogObserver& observer, int controlId, DialogChangeKind kind) {
    if (observer) {
        observer({controlId, kind});
    }
}

// Carries out one request on one item under the lock, then tells the observer. The request
// is skipped for an unknown handle, or for an item of another class when className is given;
// it returns false when it finds nothing to do.
template <typename Request>
bool changeItem(ControlHandle control, const char* className, DialogChangeKind kind,
                Request request) {
    DialogObserver observer;
    int index = indexOfHandle(control);
    if (index < 0 || (className != nullptr && !isClass(index, className))) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(model.mutex);
        if (!request(model.items[index])) {
            return false;
        }
        observer = model.observer;
    }
    notify(observer, updateDialogItems[index].id, kind);
    return true;
}

void deliverCommand(int controlId, int notification) {
    DialogCommandHandler handler;
    {
        std::lock_guard<std::mutex> lock(model.mutex);
        handler = model.commandHandler;
    }
    if (handler) {
        handler(controlId, notification);
    }
}

MessageBoxAnswer modelMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    MessageBoxResponder responder;
    {
        std::lock_guard<std::mutex> lock(model.mutex);
        responder = model.responder;
    }
    if (responder) {
        return responder(text, caption, buttons);
    }
    fprintf(stderr, "[%s] %s\n", caption != nullptr ? caption : "Error", text);
    return buttons == MESSAGE_BOX_YES_NO ? MESSAGE_BOX_ANSWER_NO : MESSAGE_BOX_ANSWER_OK;
}

ControlHandle modelGetControl(DialogWindow dialog, int controlId) {
    int index = dialog == MODEL_WINDOW ? indexOfId(controlId) : -1;
    return index < 0 ? NO_CONTROL : FIRST_CONTROL_HANDLE + index;
}

// An edit reports each change of its text to the dialog, as a Windows edit sends EN_CHANGE.
void modelSetText(ControlHandle control, const char* text) {
    bool done = changeItem(control, nullptr, DIALOG_CHANGE_TEXT, [&](ItemState& item) {
        item.text = text != nullptr ? text : "";
        return true;
    });
    int index = indexOfHandle(control);
    if (done && isClass(index, "EDIT")) {
        deliverCommand(updateDialogItems[index].id, CONTROL_NOTIFY_EDIT_CHANGED);
    }
}

uint32_t modelGetEditLine(ControlHandle edit, char* buffer) {
    std::lock_guard<std::mutex> lock(model.mutex);
    int index = indexOfHandle(edit);
    if (index < 0 || !isClass(index, "EDIT")) {
        return 0;
    }
    uint16_t most;
    memcpy(&most, buffer, sizeof most);
    const std::string& text = model.items[index].text;
    size_t count = std::min<size_t>(most, text.size());
    // The EM_GETLINE convention: the characters only, without a terminating NUL.
    memcpy(buffer, text.data(), count); // NOLINT(bugprone-not-null-terminated-result)
    return static_cast<uint32_t>(count);
}

void modelEnable(ControlHandle control, bool enabled) {
    changeItem(control, nullptr, DIALOG_CHANGE_ENABLED, [&](ItemState& item) {
        item.enabled = enabled;
        return true;
    });
}

void modelShow(ControlHandle control, bool visible) {
    changeItem(control, nullptr, DIALOG_CHANGE_VISIBLE, [&](ItemState& item) {
        item.visible = visible;
        return true;
    });
}

void modelComboReset(ControlHandle combo) {
    changeItem(combo, "COMBOBOX", DIALOG_CHANGE_COMBO_LIST, [](ItemState& item) {
        item.comboEntries.clear();
        item.comboSelection = -1;
        return true;
    });
}

int modelComboAddString(ControlHandle combo, const char* text) {
    int added = -1;
    changeItem(combo, "COMBOBOX", DIALOG_CHANGE_COMBO_LIST, [&](ItemState& item) {
        item.comboEntries.emplace_back(text != nullptr ? text : "");
        added = static_cast<int>(item.comboEntries.size()) - 1;
        return true;
    });
    return added;
}

// As CB_SETCURSEL: an index outside the list removes the selection.
void modelComboSelect(ControlHandle combo, int index) {
    changeItem(combo, "COMBOBOX", DIALOG_CHANGE_COMBO_SELECTION, [&](ItemState& item) {
        bool inList = index >= 0 && index < static_cast<int>(item.comboEntries.size());
        item.comboSelection = inList ? index : -1;
        return true;
    });
}

int modelComboGetSelection(ControlHandle combo) {
    std::lock_guard<std::mutex> lock(model.mutex);
    int index = indexOfHandle(combo);
    return index >= 0 && isClass(index, "COMBOBOX") ? model.items[index].comboSelection : -1;
}

// Records a request that concerns the whole dialog under the lock, then tells the observer.
template <typename Record> void recordDialogRequest(DialogChangeKind kind, Record record) {
    DialogObserver observer;
    {
        std::lock_guard<std::mutex> lock(model.mutex);
        record();
        observer = model.observer;
    }
    notify(observer, 0, kind);
}

void modelPostQuit(int exitCode) {
    recordDialogRequest(DIALOG_CHANGE_QUIT, [&] {
        model.quitRequested = true;
        model.exitCode = exitCode;
    });
}

void modelEndDialog(DialogWindow, intptr_t result) {
    recordDialogRequest(DIALOG_CHANGE_DIALOG_ENDED, [&] {
        model.ended = true;
        model.result = result;
    });
}

// The handle of a visible, enabled item of the given class that the user can act on, or
// NO_CONTROL.
ControlHandle usableControl(int controlId, const char* className) {
    std::lock_guard<std::mutex> lock(model.mutex);
    int index = indexOfId(controlId);
    if (index < 0 || !isClass(index, className) || !model.items[index].visible ||
        !model.items[index].enabled) {
        return NO_CONTROL;
    }
    return FIRST_CONTROL_HANDLE + index;
}

} // namespace

const UserInterfaceService dialogModelUserInterface = {
    .messageBox = modelMessageBox,
    .getControl = modelGetControl,
    .setText = modelSetText,
    .getEditLine = modelGetEditLine,
    .enable = modelEnable,
    .show = modelShow,
    .comboReset = modelComboReset,
    .comboAddString = modelComboAddString,
    .comboSelect = modelComboSelect,
    .comboGetSelection = modelComboGetSelection,
    .postQuit = modelPostQuit,
    .endDialog = modelEndDialog,
};

void dialogModelReset() {
    std::lock_guard<std::mutex> lock(model.mutex);
    model.resetItems();
    model.observer = nullptr;
    model.commandHandler = nullptr;
    model.responder = nullptr;
    model.quitRequested = false;
    model.exitCode = 0;
    model.ended = false;
    model.result = 0;
}

DialogWindow dialogModelWindow() {
    return MODEL_WINDOW;
}

void dialogModelSetObserver(DialogObserver observer) {
    std::lock_guard<std::mutex> lock(model.mutex);
    model.observer = std::move(observer);
}

void dialogModelSetCommandHandler(DialogCommandHandler handler) {
    std::lock_guard<std::mutex> lock(model.mutex);
    model.commandHandler = std::move(handler);
}

void dialogModelSetMessageBoxResponder(MessageBoxResponder responder) {
    std::lock_guard<std::mutex> lock(model.mutex);
    model.responder = std::move(responder);
}

std::vector<DialogItemState> dialogModelSnapshot() {
    std::lock_guard<std::mutex> lock(model.mutex);
    std::vector<DialogItemState> items;
    for (int index = 0; index < UPDATE_DIALOG_ITEM_COUNT; ++index) {
        items.push_back(stateOf(index));
    }
    return items;
}

bool dialogModelControlState(int controlId, DialogItemState* state) {
    std::lock_guard<std::mutex> lock(model.mutex);
    int index = indexOfId(controlId);
    if (index < 0) {
        return false;
    }
    *state = stateOf(index);
    return true;
}

bool dialogModelQuitRequested(int* exitCode) {
    std::lock_guard<std::mutex> lock(model.mutex);
    if (exitCode != nullptr) {
        *exitCode = model.exitCode;
    }
    return model.quitRequested;
}

bool dialogModelDialogEnded(intptr_t* result) {
    std::lock_guard<std::mutex> lock(model.mutex);
    if (result != nullptr) {
        *result = model.result;
    }
    return model.ended;
}

bool dialogModelClick(int controlId) {
    ControlHandle button = usableControl(controlId, "BUTTON");
    int index = indexOfHandle(button);
    if (index < 0 || (updateDialogItems[index].style & BUTTON_TYPE_MASK) != 0) {
        return false;
    }
    deliverCommand(controlId, CONTROL_NOTIFY_CLICKED);
    return true;
}

bool dialogModelType(int controlId, const char* text) {
    ControlHandle edit = usableControl(controlId, "EDIT");
    if (edit == NO_CONTROL) {
        return false;
    }
    modelSetText(edit, text);
    return true;
}

bool dialogModelSelect(int controlId, int index) {
    ControlHandle combo = usableControl(controlId, "COMBOBOX");
    bool changed =
        changeItem(combo, "COMBOBOX", DIALOG_CHANGE_COMBO_SELECTION, [&](ItemState& item) {
            bool inList = index >= 0 && index < static_cast<int>(item.comboEntries.size());
            if (!inList || item.comboSelection == index) {
                return false;
            }
            item.comboSelection = index;
            return true;
        });
    if (changed) {
        deliverCommand(controlId, CONTROL_NOTIFY_SELECTION_CHANGED);
    }
    return changed;
}
