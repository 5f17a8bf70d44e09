// Process service on Windows: CreateProcess of the program's own executable in a process group
// of its own, with the two output streams on anonymous pipes that PeekNamedPipe reads without
// waiting.
#include "platform/process.h"

#include "platform/win32/win32_error.h"

#include <new>
#include <string>
#include <windows.h>

namespace {

struct Win32Child {
    HANDLE process;
    DWORD processId;
    HANDLE streams[2]; // the read ends: standard output, standard error; null once ended
};

Win32Child* childOf(ChildHandle handle) {
    return reinterpret_cast<Win32Child*>(handle);
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// blank or a quote, with the backslashes before a quote doubled.
void appendArgument(std::string* line, const char* argument) {
    std::string text = argument;
    if (!line->empty()) {
        line->push_back(' ');
    }
    if (!text.empty() && text.find_first_of(" \t\"") == std::string::npos) {
        line->append(text);
        return;
    }
    line->push_back('"');
    size_t backslashes = 0;
    for (char character : text) {
        if (character == '\\') {
            ++backslashes;
            continue;
        }
        size_t copies = character == '"' ? backslashes * 2 + 1 : backslashes;
        line->append(copies, '\\');
        backslashes = 0;
        line->push_back(character);
    }
    line->append(backslashes * 2, '\\');
    line->push_back('"');
}

void closeIfOpen(HANDLE* handle) {
    if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) {
        CloseHandle(*handle);
    }
    *handle = nullptr;
}

// A pipe whose write end the child inherits and whose read end stays with the parent.
bool makeChildPipe(HANDLE* readEnd, HANDLE* writeEnd) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    return CreatePipe(readEnd, writeEnd, &inherited, 0) &&
           SetHandleInformation(*readEnd, HANDLE_FLAG_INHERIT, 0);
}

HANDLE openNullInput() {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    return CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       OPEN_EXISTING, 0, nullptr);
}

// Children are started from one thread at a time, so the inheritable handles made for one
// child are closed here before the next child could inherit them.
bool createChild(std::string commandLine, HANDLE childEnds[3], PROCESS_INFORMATION* started) {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childEnds[0];
    startup.hStdOutput = childEnds[1];
    startup.hStdError = childEnds[2];
    return CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, started);
}

ChildHandle win32StartSelf(const char* const* arguments, PlatformError* error) {
    std::string commandLine = "ticketflash-cli";
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
        appendArgument(&commandLine, *argument);
    }
    HANDLE reads[2] = {nullptr, nullptr};
    HANDLE childEnds[3] = {openNullInput(), nullptr, nullptr};
    PROCESS_INFORMATION started = {};
    bool made = childEnds[0] != INVALID_HANDLE_VALUE && makeChildPipe(&reads[0], &childEnds[1]) &&
                makeChildPipe(&reads[1], &childEnds[2]) &&
                createChild(commandLine, childEnds, &started);
    DWORD failure = GetLastError();
    for (HANDLE& end : childEnds) {
        closeIfOpen(&end);
    }
    Win32Child* child =
        made ? new (std::nothrow)
                   Win32Child{started.hProcess, started.dwProcessId, {reads[0], reads[1]}}
             : nullptr;
    if (child == nullptr) {
        closeIfOpen(&reads[0]);
        closeIfOpen(&reads[1]);
        reportPlatformError(error, win32Error(made ? ERROR_NOT_ENOUGH_MEMORY : failure));
        return NO_CHILD;
    }
    CloseHandle(started.hThread);
    reportPlatformError(error, {});
    return reinterpret_cast<ChildHandle>(child);
}

int32_t win32ReadChild(ChildHandle handle, ChildStream stream, char* buffer, uint32_t size) {
    HANDLE& pipe = childOf(handle)->streams[stream];
    if (pipe == nullptr) {
        return CHILD_STREAM_ENDED;
    }
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
        closeIfOpen(&pipe);
        return CHILD_STREAM_ENDED;
    }
    if (waiting == 0) {
        return 0;
    }
    DWORD count = 0;
    DWORD wanted = waiting < size ? waiting : size;
    if (!ReadFile(pipe, buffer, wanted, &count, nullptr)) {
        closeIfOpen(&pipe);
        return CHILD_STREAM_ENDED;
    }
    return static_cast<int32_t>(count);
}

bool win32ChildEnded(ChildHandle handle, int* exitCode) {
    Win32Child* child = childOf(handle);
    if (WaitForSingleObject(child->process, 0) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    *exitCode =
        GetExitCodeProcess(child->process, &code) ? static_cast<int>(code) : CHILD_EXIT_ABNORMAL;
    return true;
}

// CTRL_C_EVENT cannot be sent to a process group of its own; the child's console handler takes
// CTRL_BREAK_EVENT as the same interrupt.
bool win32InterruptChild(ChildHandle handle) {
    return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, childOf(handle)->processId) != 0;
}

void win32ReleaseChild(ChildHandle handle) {
    Win32Child* child = childOf(handle);
    closeIfOpen(&child->streams[0]);
    closeIfOpen(&child->streams[1]);
    CloseHandle(child->process);
    delete child;
}

const ProcessService win32Process = {
    .startSelf = win32StartSelf,
    .readChild = win32ReadChild,
    .childEnded = win32ChildEnded,
    .interruptChild = win32InterruptChild,
    .releaseChild = win32ReleaseChild,
};

} // namespace

const ProcessService* processService = &win32Process;
