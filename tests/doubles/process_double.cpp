#include "tests/doubles/process_double.h"

#include <cstring>

ProcessDouble* ProcessDouble::active_ = nullptr;
const ProcessService ProcessDouble::service_ = {
    .startSelf = ProcessDouble::startSelf,
    .readChild = ProcessDouble::readChild,
    .childEnded = ProcessDouble::childEnded,
    .interruptChild = ProcessDouble::interruptChild,
    .releaseChild = ProcessDouble::releaseChild,
};

ProcessDouble::ProcessDouble(std::function<ChildScript(const std::vector<std::string>&)> script)
    : script_(std::move(script)), previous_(processService) {
    active_ = this;
    processService = &service_;
}

ProcessDouble::~ProcessDouble() {
    processService = previous_;
    active_ = nullptr;
}

std::vector<std::vector<std::string>> ProcessDouble::started() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::vector<std::string>> list;
    for (const Child& child : children_) {
        list.push_back(child.arguments);
    }
    return list;
}

std::vector<std::vector<std::string>> ProcessDouble::interrupted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::vector<std::string>> list;
    for (const Child& child : children_) {
        if (child.interrupted) {
            list.push_back(child.arguments);
        }
    }
    return list;
}

int ProcessDouble::runningNow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running();
}

int ProcessDouble::mostAtOnce() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostAtOnce_;
}

bool ProcessDouble::allReleased() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Child& child : children_) {
        if (!child.released) {
            return false;
        }
    }
    return true;
}

ProcessDouble::Child& ProcessDouble::childOf(ChildHandle handle) {
    return children_.at(static_cast<size_t>(handle - 1));
}

int ProcessDouble::running() const {
    int count = 0;
    for (const Child& child : children_) {
        count += child.ended ? 0 : 1;
    }
    return count;
}

// The script is asked outside the lock, so that it may look at the double or deliver an
// interrupt.
ChildHandle ProcessDouble::startSelf(const char* const* arguments, PlatformError* error) {
    Child child;
    for (const char* const* argument = arguments; *argument != nullptr; ++argument) {
        child.arguments.push_back(*argument);
    }
    {
        std::lock_guard<std::mutex> lock(active_->mutex_);
        active_->children_.push_back(child);
    }
    ChildScript script = active_->script_(child.arguments);
    std::lock_guard<std::mutex> lock(active_->mutex_);
    ChildHandle handle = static_cast<ChildHandle>(active_->children_.size());
    active_->childOf(handle).script = script;
    int running = active_->running();
    active_->mostAtOnce_ = running > active_->mostAtOnce_ ? running : active_->mostAtOnce_;
    reportPlatformError(error, {});
    return handle;
}

// Standard error is there from the start, standard output once the child has ended; each is
// read in one piece (the test's texts fit the reader's buffer).
int32_t ProcessDouble::readChild(ChildHandle handle, ChildStream stream, char* buffer,
                                 uint32_t size) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    Child& child = active_->childOf(handle);
    if (stream == CHILD_OUTPUT && !child.ended) {
        return 0;
    }
    if (child.read[stream]) {
        return CHILD_STREAM_ENDED;
    }
    child.read[stream] = true;
    const std::string& text = stream == CHILD_ERRORS ? child.script.errors : child.script.output;
    uint32_t count = text.size() < size ? static_cast<uint32_t>(text.size()) : size;
    memcpy(buffer, text.data(), count);
    return count == 0 ? CHILD_STREAM_ENDED : static_cast<int32_t>(count);
}

bool ProcessDouble::childEnded(ChildHandle handle, int* exitCode) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    Child& child = active_->childOf(handle);
    if (!child.ended && --child.script.looks <= 0) {
        child.ended = true;
    }
    if (child.ended) {
        *exitCode = child.script.exitCode;
    }
    return child.ended;
}

bool ProcessDouble::interruptChild(ChildHandle handle) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    Child& child = active_->childOf(handle);
    child.interrupted = true;
    if (child.script.endsOnInterrupt && !child.ended) {
        child.script.looks = 0;
        child.script.output = child.script.interruptedOutput;
        child.script.exitCode = child.script.interruptedExitCode;
    }
    return true;
}

void ProcessDouble::releaseChild(ChildHandle handle) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->childOf(handle).released = true;
}
