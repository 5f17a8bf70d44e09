#pragma once

// The state-file service for tests: named files held in memory, every change recorded, and
// faults on request: a replace, an append or a read of an existing file that fails. Paths are
// "memory:<name>". Installed for the lifetime of the object; resetProgramState empties the one
// in force.

#include "platform/state_files.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

enum StateFileCallKind {
    STATE_FILE_REPLACE,
    STATE_FILE_APPEND,
    STATE_FILE_RENAME,
    STATE_FILE_REMOVE,
};

struct StateFileCall {
    StateFileCallKind kind;
    std::string name; // rename: the name it had
    std::string text; // replace and append: the text given; rename: the new name
    uint64_t order;   // see tests/doubles/call_order.h
};

class StateFileDouble {
  public:
    StateFileDouble();
    ~StateFileDouble();
    StateFileDouble(const StateFileDouble&) = delete;
    StateFileDouble& operator=(const StateFileDouble&) = delete;

    // The files: whether one is there and its text; put leaves one as an earlier run would.
    bool present(const std::string& name) const;
    std::string text(const std::string& name) const;
    void put(const std::string& name, const std::string& text);

    // Faults: every later replace, append, or read of a file that is there, fails with this
    // error (no error to stop); the files stay as they were.
    void failReplace(PlatformError error);
    void failAppend(PlatformError error);
    void failRead(PlatformError error);

    std::vector<StateFileCall> calls() const;
    size_t callCount(StateFileCallKind kind) const;

    // Empties the files, the calls and the faults.
    void reset();

  private:
    friend struct StateFileDoubleBackend;
    friend void resetStateFileDouble();
    static StateFileDouble* active_;

    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::vector<StateFileCall> calls_;
    PlatformError replaceFailure_ = {};
    PlatformError appendFailure_ = {};
    PlatformError readFailure_ = {};
    const StateFileService* previous_;
};

// Resets the double in force, if there is one.
void resetStateFileDouble();
