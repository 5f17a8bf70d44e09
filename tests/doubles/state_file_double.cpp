#include "tests/doubles/state_file_double.h"

#include "tests/doubles/call_order.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

StateFileDouble* StateFileDouble::active_ = nullptr;

struct StateFileDoubleBackend {
    static bool fail(PlatformError* error, PlatformError failure) {
        reportPlatformError(error, failure);
        return false;
    }

    static void record(StateFileCallKind kind, const char* name, std::string text) {
        StateFileDouble::active_->calls_.push_back({kind, name, std::move(text), nextCallOrder()});
    }

    static bool read(const char* name, char* buffer, uint32_t size, uint32_t* length, bool* present,
                     PlatformError* error) {
        StateFileDouble* self = StateFileDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        *length = 0;
        *present = false;
        if (!plainStateFileName(name)) {
            return fail(error, {PLATFORM_ERROR_INVALID, 0});
        }
        auto found = self->files_.find(name);
        if (found == self->files_.end()) {
            return true;
        }
        *present = true;
        if (platformFailed(self->readFailure_)) {
            return fail(error, self->readFailure_);
        }
        if (found->second.size() > size) {
            return fail(error, {PLATFORM_ERROR_TOO_LARGE, 0});
        }
        memcpy(buffer, found->second.data(), found->second.size());
        *length = static_cast<uint32_t>(found->second.size());
        return true;
    }

    // A replace or an append: recorded, then refused or carried out.
    static bool change(StateFileCallKind kind, const char* name, const char* text, uint32_t length,
                       PlatformError* error) {
        StateFileDouble* self = StateFileDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        record(kind, name, std::string(text, length));
        PlatformError fault =
            kind == STATE_FILE_REPLACE ? self->replaceFailure_ : self->appendFailure_;
        if (!plainStateFileName(name)) {
            return fail(error, {PLATFORM_ERROR_INVALID, 0});
        }
        if (platformFailed(fault)) {
            return fail(error, fault);
        }
        std::string& file = self->files_[name];
        if (kind == STATE_FILE_REPLACE) {
            file.clear();
        }
        file.append(text, length);
        return true;
    }

    static bool replace(const char* name, const char* text, uint32_t length, PlatformError* error) {
        return change(STATE_FILE_REPLACE, name, text, length, error);
    }

    static bool append(const char* name, const char* text, uint32_t length, PlatformError* error) {
        return change(STATE_FILE_APPEND, name, text, length, error);
    }

    static bool rename(const char* from, const char* to, PlatformError* error) {
        StateFileDouble* self = StateFileDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        record(STATE_FILE_RENAME, from, to);
        if (!plainStateFileName(from) || !plainStateFileName(to)) {
            return fail(error, {PLATFORM_ERROR_INVALID, 0});
        }
        auto found = self->files_.find(from);
        if (found == self->files_.end()) {
            return fail(error, {PLATFORM_ERROR_NOT_FOUND, 0});
        }
        std::string text = std::move(found->second);
        self->files_.erase(found);
        self->files_[to] = std::move(text);
        return true;
    }

    static bool remove(const char* name, PlatformError* error) {
        StateFileDouble* self = StateFileDouble::active_;
        std::lock_guard<std::mutex> lock(self->mutex_);
        record(STATE_FILE_REMOVE, name, "");
        if (!plainStateFileName(name)) {
            return fail(error, {PLATFORM_ERROR_INVALID, 0});
        }
        self->files_.erase(name);
        return true;
    }

    static void path(const char* name, char* path, uint32_t size) {
        snprintf(path, size, "memory:%s", name);
    }
};

static const StateFileService doubleStateFiles = {
    .read = StateFileDoubleBackend::read,
    .replace = StateFileDoubleBackend::replace,
    .append = StateFileDoubleBackend::append,
    .rename = StateFileDoubleBackend::rename,
    .remove = StateFileDoubleBackend::remove,
    .path = StateFileDoubleBackend::path,
};

StateFileDouble::StateFileDouble() : previous_(stateFileService) {
    active_ = this;
    stateFileService = &doubleStateFiles;
}

StateFileDouble::~StateFileDouble() {
    stateFileService = previous_;
    active_ = nullptr;
}

bool StateFileDouble::present(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.count(name) != 0;
}

std::string StateFileDouble::text(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = files_.find(name);
    return found != files_.end() ? found->second : "";
}

void StateFileDouble::put(const std::string& name, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[name] = text;
}

void StateFileDouble::failReplace(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    replaceFailure_ = error;
}

void StateFileDouble::failAppend(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    appendFailure_ = error;
}

void StateFileDouble::failRead(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailure_ = error;
}

std::vector<StateFileCall> StateFileDouble::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

size_t StateFileDouble::callCount(StateFileCallKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::count_if(calls_.begin(), calls_.end(),
                         [&](const StateFileCall& call) { return call.kind == kind; });
}

void StateFileDouble::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
    calls_.clear();
    replaceFailure_ = {};
    appendFailure_ = {};
    readFailure_ = {};
}

void resetStateFileDouble() {
    if (StateFileDouble::active_ != nullptr) {
        StateFileDouble::active_->reset();
    }
}
