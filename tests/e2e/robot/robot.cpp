// tf-robot: reads and drives the dialog of another program, for the end-to-end tests under Wine.
//
//   tf-robot <command> [--title T] [--id N] [--text S] [--index I] [--button B]
//            [--process-of T] [--timeout MS]
//
// One command per run. Results go to standard output as JSON lines (UTF-8), failures to
// standard error as one "tf-robot: ..." line; the exit code is 0 or 1. Every wait, and every
// message sent to the program, is bounded by --timeout (5000 ms unless given): the robot never
// blocks on the program. It acts as a user would: it refuses to press, edit or select a control
// that is hidden or disabled, or one in a dialog that a modal window has disabled, and waits
// (within the time-out) for the control to become usable.
//
//   wait-window --title T        {"title":T,"pid":P,"enabled":B}   the visible window titled T
//   wait-closed --title T        {"closed":T}                      until no such window shows
//   dump --title T               one line per child control, in z order:
//       {"id":N,"class":C,"text":S,"visible":B,"enabled":B,"style":"0x50010000"}
//       and for a combo box also "entries":[S...],"selection":I (-1: none); "visible" is the
//       control's own WS_VISIBLE
//   click --title T --id N       {"clicked":N}          posts BM_CLICK
//   close --title T              {"close":T}            the caption's close box (SC_CLOSE)
//   set-text --title T --id N --text S  {"id":N,"text":S}   WM_SETTEXT; an edit tells its
//                                                       dialog with EN_CHANGE
//   select --title T --id N --index I   {"id":N,"selection":I}  CB_SETCURSEL, then posts
//                                                       CBN_SELCHANGE to the dialog
//   message-box [--process-of T] [--title C]  {"caption":S,"text":S,"buttons":["yes","no"]}
//   answer-box [--process-of T] [--title C] --button ok|cancel|abort|retry|ignore|yes|no
//                                {"answered":B}         once the box has closed
//   wait-text --title T --id N --text S  {"id":N,"text":S}  until the control reads S
//   watch --title T --id N --text S      {"id":N,"text":S}  each text the control shows,
//                                                       polled, until it reads S
//
// A message box is the topmost enabled dialog-class window holding a message text (static
// 0xFFFF); --process-of T narrows the search to the process of window T, T excluded, and
// --title C to the boxes captioned C (a dialog with unaddressed statics of its own, in
// another process, would otherwise pass for a box).

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int messageBoxTextId = 0xFFFF; // the static that holds a message box's text
constexpr DWORD pollIntervalMs = 50;

struct Options {
    std::wstring command;
    std::wstring title;
    std::wstring text;
    std::wstring button;
    std::wstring processOf;
    std::optional<int> id;
    int index = -1;
    DWORD timeoutMs = 5000;
};

class Deadline {
  public:
    explicit Deadline(DWORD ms) : end_(GetTickCount64() + ms) {}
    bool passed() const { return GetTickCount64() >= end_; }
    DWORD remaining() const { return passed() ? 0 : static_cast<DWORD>(end_ - GetTickCount64()); }

  private:
    ULONGLONG end_;
};

// Calls `found` until it returns true or the deadline passes; true when it did.
template <typename Check> bool pollUntil(const Deadline& deadline, Check found) {
    for (;;) {
        if (found())
            return true;
        if (deadline.passed())
            return false;
        Sleep(pollIntervalMs);
    }
}

// ---- output

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::string json(const std::wstring& text) {
    std::string out = "\"";
    for (char c : utf8(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string jsonBool(bool value) {
    return value ? "true" : "false";
}

std::string jsonArray(const std::vector<std::wstring>& items) {
    std::string out = "[";
    for (const std::wstring& item : items) {
        if (out.size() > 1)
            out += ',';
        out += json(item);
    }
    return out + "]";
}

void printLine(const std::string& line) {
    fwrite(line.data(), 1, line.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

bool fail(const std::string& why) {
    fprintf(stderr, "tf-robot: %s\n", why.c_str());
    return false;
}

// ---- talking to the program's windows

// A message to another process's window that gives up when the program does not answer in time.
bool sendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const Deadline& deadline,
                 DWORD_PTR& result) {
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                               deadline.remaining() + 1, &result) != 0;
}

// Wide-character messages throughout: Wine answers the ANSI ones across processes with
// truncated texts (a combo box entry comes back as its first character only).
bool windowText(HWND window, const Deadline& deadline, std::wstring& text) {
    DWORD_PTR length = 0;
    if (!sendBounded(window, WM_GETTEXTLENGTH, 0, 0, deadline, length))
        return false;
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!sendBounded(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                     deadline, copied))
        return false;
    text.assign(buffer.data(), copied);
    return true;
}

bool comboEntries(HWND combo, const Deadline& deadline, std::vector<std::wstring>& entries,
                  int& selection) {
    DWORD_PTR count = 0;
    DWORD_PTR selected = 0;
    if (!sendBounded(combo, CB_GETCOUNT, 0, 0, deadline, count) ||
        !sendBounded(combo, CB_GETCURSEL, 0, 0, deadline, selected))
        return false;
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!sendBounded(combo, CB_GETLBTEXTLEN, i, 0, deadline, length) ||
            static_cast<LRESULT>(length) < 0)
            return false;
        std::vector<wchar_t> buffer(length + 1, L'\0');
        if (!sendBounded(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), deadline,
                         length))
            return false;
        entries.emplace_back(buffer.data());
    }
    selection = static_cast<int>(static_cast<LRESULT>(selected));
    return true;
}

std::wstring className(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

bool visible(HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

DWORD processOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

struct TitleSearch {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK matchTitle(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TitleSearch*>(param);
    wchar_t title[256] = L"";
    GetWindowTextW(window, title, 256); // a top-level caption is read without a message
    if (!IsWindowVisible(window) || *search->title != title)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The visible top-level window whose caption is exactly `title` (a program's hidden main
// window may share the caption of its dialog).
HWND visibleWindow(const std::wstring& title) {
    TitleSearch search{&title, nullptr};
    EnumWindows(matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool findWindow(const Options& options, const Deadline& deadline, HWND& window) {
    if (options.title.empty())
        return fail("--title is required");
    if (pollUntil(deadline, [&] { return (window = visibleWindow(options.title)) != nullptr; }))
        return true;
    return fail("no visible window titled " + json(options.title));
}

const char* whyUnusable(HWND dialog, HWND control) {
    if (control == nullptr)
        return " does not exist";
    if (!visible(control))
        return " is hidden";
    if (!IsWindowEnabled(control))
        return " is disabled";
    return IsWindowEnabled(dialog) ? " cannot be used" : "'s window is disabled by a modal window";
}

// The control `--id` of the window `--title`, once a user could use it.
bool findUsableControl(const Options& options, const Deadline& deadline, HWND& control) {
    HWND dialog = nullptr;
    if (!options.id)
        return fail("--id is required");
    if (!findWindow(options, deadline, dialog))
        return false;
    auto usable = [&] {
        control = GetDlgItem(dialog, *options.id);
        return control != nullptr && visible(control) && IsWindowEnabled(control) &&
               IsWindowEnabled(dialog);
    };
    if (pollUntil(deadline, usable))
        return true;
    return fail("control " + std::to_string(*options.id) + whyUnusable(dialog, control));
}

struct BoxSearch {
    HWND exclude;
    DWORD pid;
    const std::wstring* caption; // null: any
    HWND found;
};

bool captioned(HWND window, const std::wstring* caption) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return caption == nullptr || *caption == text;
}

BOOL CALLBACK matchMessageBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    // A dialog behind a modal message box is disabled; the box itself never is.
    if (window == search->exclude || !IsWindowVisible(window) || !IsWindowEnabled(window) ||
        className(window) != L"#32770" || GetDlgItem(window, messageBoxTextId) == nullptr)
        return TRUE;
    if ((search->pid != 0 && processOf(window) != search->pid) ||
        !captioned(window, search->caption))
        return TRUE;
    search->found = window; // the first in z order is the one on top
    return FALSE;
}

// An open message box: a visible dialog-class window with a message text, other than the
// window `--process-of` and in that window's process when it is given, captioned `--title`
// when that is given.
bool findMessageBox(const Options& options, const Deadline& deadline, HWND& box) {
    BoxSearch search{nullptr, 0, options.title.empty() ? nullptr : &options.title, nullptr};
    if (!options.processOf.empty()) {
        Options owner = options;
        owner.title = options.processOf; // findWindow looks for --title
        if (!findWindow(owner, deadline, search.exclude))
            return false;
        search.pid = processOf(search.exclude);
    }
    auto open = [&] {
        search.found = nullptr;
        EnumWindows(matchMessageBox, reinterpret_cast<LPARAM>(&search));
        return (box = search.found) != nullptr;
    };
    return pollUntil(deadline, open) || fail("no message box is open");
}

struct ButtonName {
    const wchar_t* name;
    int id;
};

constexpr ButtonName messageBoxButtons[] = {
    {L"ok", IDOK},         {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
    {L"ignore", IDIGNORE}, {L"yes", IDYES},       {L"no", IDNO}};

// ---- the commands, one function each

bool waitWindow(const Options& options, const Deadline& deadline) {
    HWND window = nullptr;
    if (!findWindow(options, deadline, window))
        return false;
    printLine("{\"title\":" + json(options.title) +
              ",\"pid\":" + std::to_string(processOf(window)) +
              ",\"enabled\":" + jsonBool(IsWindowEnabled(window) != 0) + "}");
    return true;
}

bool waitClosed(const Options& options, const Deadline& deadline) {
    if (options.title.empty())
        return fail("--title is required");
    if (!pollUntil(deadline, [&] { return visibleWindow(options.title) == nullptr; }))
        return fail("window " + json(options.title) + " is still open");
    printLine("{\"closed\":" + json(options.title) + "}");
    return true;
}

bool dumpControl(HWND control, const Deadline& deadline) {
    std::wstring text;
    if (!windowText(control, deadline, text))
        return fail("control " + std::to_string(GetDlgCtrlID(control)) + " does not answer");
    std::wstring kind = className(control);
    char style[16];
    snprintf(style, sizeof style, "0x%08lx", GetWindowLongW(control, GWL_STYLE));
    std::string line =
        "{\"id\":" + std::to_string(GetDlgCtrlID(control)) + ",\"class\":" + json(kind) +
        ",\"text\":" + json(text) + ",\"visible\":" + jsonBool(visible(control)) +
        ",\"enabled\":" + jsonBool(IsWindowEnabled(control) != 0) + ",\"style\":\"" + style + "\"";
    if (lstrcmpiW(kind.c_str(), L"ComboBox") == 0) {
        std::vector<std::wstring> entries;
        int selection = -1;
        if (!comboEntries(control, deadline, entries, selection))
            return fail("combo box " + std::to_string(GetDlgCtrlID(control)) + " does not answer");
        line += ",\"entries\":" + jsonArray(entries);
        line += ",\"selection\":" + std::to_string(selection);
    }
    printLine(line + "}");
    return true;
}

bool dump(const Options& options, const Deadline& deadline) {
    HWND dialog = nullptr;
    if (!findWindow(options, deadline, dialog))
        return false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!dumpControl(child, deadline))
            return false;
    }
    return true;
}

// Posted, so that whatever the program does on the click (a message box, a long operation)
// never holds the robot.
bool click(const Options& options, const Deadline& deadline) {
    HWND button = nullptr;
    if (!findUsableControl(options, deadline, button))
        return false;
    if (!PostMessageW(button, BM_CLICK, 0, 0))
        return fail("could not post the click");
    printLine("{\"clicked\":" + std::to_string(*options.id) + "}");
    return true;
}

// What the caption's close box does: the window gets SC_CLOSE (a dialog then hears IDCANCEL).
bool closeBox(const Options& options, const Deadline& deadline) {
    HWND window = nullptr;
    if (!findWindow(options, deadline, window))
        return false;
    if (!pollUntil(deadline, [&] { return IsWindowEnabled(window) != FALSE; }))
        return fail("the window is disabled by a modal window");
    if (!PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0))
        return fail("could not post the close");
    printLine("{\"close\":" + json(options.title) + "}");
    return true;
}

// The edit control tells its dialog of the change (EN_CHANGE) as it does for typing.
bool setText(const Options& options, const Deadline& deadline) {
    HWND edit = nullptr;
    if (!findUsableControl(options, deadline, edit))
        return false;
    DWORD_PTR result = 0;
    if (!sendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.text.c_str()), deadline,
                     result))
        return fail("the program did not take the text in time");
    printLine("{\"id\":" + std::to_string(*options.id) + ",\"text\":" + json(options.text) + "}");
    return true;
}

// A selection by the user: the combo box changes, then its dialog hears CBN_SELCHANGE.
bool select(const Options& options, const Deadline& deadline) {
    HWND combo = nullptr;
    if (!findUsableControl(options, deadline, combo))
        return false;
    DWORD_PTR result = 0;
    if (!sendBounded(combo, CB_SETCURSEL, static_cast<WPARAM>(options.index), 0, deadline,
                     result) ||
        static_cast<LRESULT>(result) != options.index)
        return fail("entry " + std::to_string(options.index) + " cannot be selected");
    if (!PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(*options.id, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(combo)))
        return fail("could not post the selection");
    printLine("{\"id\":" + std::to_string(*options.id) +
              ",\"selection\":" + std::to_string(options.index) + "}");
    return true;
}

bool messageBox(const Options& options, const Deadline& deadline) {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
    if (!findMessageBox(options, deadline, box) || !windowText(box, deadline, caption) ||
        !windowText(GetDlgItem(box, messageBoxTextId), deadline, text))
        return false;
    std::vector<std::wstring> buttons;
    for (const ButtonName& button : messageBoxButtons) {
        HWND control = GetDlgItem(box, button.id);
        if (control != nullptr && visible(control))
            buttons.emplace_back(button.name);
    }
    printLine("{\"caption\":" + json(caption) + ",\"text\":" + json(text) +
              ",\"buttons\":" + jsonArray(buttons) + "}");
    return true;
}

// Presses a button of the open message box and waits until the box has gone.
bool answerBox(const Options& options, const Deadline& deadline) {
    const ButtonName* chosen = nullptr;
    for (const ButtonName& button : messageBoxButtons)
        if (options.button == button.name)
            chosen = &button;
    if (chosen == nullptr)
        return fail("--button must be ok, cancel, abort, retry, ignore, yes or no");
    HWND box = nullptr;
    if (!findMessageBox(options, deadline, box))
        return false;
    HWND button = GetDlgItem(box, chosen->id);
    if (button == nullptr || !visible(button))
        return fail("the message box has no " + utf8(options.button) + " button");
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(chosen->id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)))
        return fail("could not post the answer");
    if (!pollUntil(deadline, [&] { return !IsWindow(box); }))
        return fail("the message box is still open");
    printLine("{\"answered\":" + json(options.button) + "}");
    return true;
}

// Reads the control `--id` until it reads `--text`; with everyChange, prints each text that
// differs from the one read before it, so that a test sees the steps of a running program.
bool followText(const Options& options, const Deadline& deadline, bool everyChange) {
    HWND dialog = nullptr;
    if (!options.id)
        return fail("--id is required");
    if (!findWindow(options, deadline, dialog))
        return false;
    std::wstring text;
    std::optional<std::wstring> printed;
    auto line = [&] {
        return "{\"id\":" + std::to_string(*options.id) + ",\"text\":" + json(text) + "}";
    };
    auto matches = [&] {
        HWND control = GetDlgItem(dialog, *options.id);
        if (control == nullptr || !windowText(control, deadline, text))
            return false;
        if (everyChange && printed != text) {
            printLine(line());
            printed = text;
        }
        return text == options.text;
    };
    if (!pollUntil(deadline, matches))
        return fail("control " + std::to_string(*options.id) + " still reads " + json(text));
    if (!everyChange)
        printLine(line());
    return true;
}

bool waitText(const Options& options, const Deadline& deadline) {
    return followText(options, deadline, false);
}

bool watchText(const Options& options, const Deadline& deadline) {
    return followText(options, deadline, true);
}

// ---- command line

struct Command {
    const wchar_t* name;
    bool (*run)(const Options&, const Deadline&);
};

constexpr Command commands[] = {
    {L"wait-window", waitWindow},
    {L"wait-closed", waitClosed},
    {L"dump", dump},
    {L"click", click},
    {L"close", closeBox},
    {L"set-text", setText},
    {L"select", select},
    {L"message-box", messageBox},
    {L"answer-box", answerBox},
    {L"wait-text", waitText},
    {L"watch", watchText},
};

bool parseNumber(const wchar_t* text, long& value) {
    wchar_t* end = nullptr;
    value = wcstol(text, &end, 0);
    return *text != L'\0' && *end == L'\0';
}

bool parseOption(const std::wstring& name, const wchar_t* value, Options& options) {
    long number = 0;
    if (name == L"--title")
        options.title = value;
    else if (name == L"--text")
        options.text = value;
    else if (name == L"--button")
        options.button = value;
    else if (name == L"--process-of")
        options.processOf = value;
    else if (name == L"--id" && parseNumber(value, number))
        options.id = static_cast<int>(number);
    else if (name == L"--index" && parseNumber(value, number) && number >= 0)
        options.index = static_cast<int>(number);
    else if (name == L"--timeout" && parseNumber(value, number) && number >= 0)
        options.timeoutMs = static_cast<DWORD>(number);
    else
        return fail("bad option " + utf8(name) + " " + json(std::wstring(value)));
    return true;
}

bool parseArguments(int argc, wchar_t** argv, Options& options) {
    if (argc < 2)
        return fail("usage: tf-robot wait-window|wait-closed|dump|click|close|set-text|select|"
                    "message-box|answer-box|wait-text|watch [--title T] [--id N] [--text S] "
                    "[--index I] [--button B] [--process-of T] [--timeout MS]");
    options.command = argv[1];
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc)
            return fail("option " + utf8(argv[i]) + " needs a value");
        if (!parseOption(argv[i], argv[i + 1], options))
            return false;
    }
    return true;
}

bool run(int argc, wchar_t** argv) {
    Options options;
    if (!parseArguments(argc, argv, options))
        return false;
    for (const Command& command : commands)
        if (options.command == command.name)
            return command.run(options, Deadline(options.timeoutMs));
    return fail("unknown command " + utf8(options.command));
}

} // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY); // JSON lines end in \n, not \r\n
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool ok = argv != nullptr && run(argc, argv);
    LocalFree(argv);
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
