#include "tests/doubles/kernel_double.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>

KernelDouble* KernelDouble::active_ = nullptr;

const KernelService KernelDouble::service_ = {
    .sleep = KernelDouble::sleep,
    .debugLog = KernelDouble::debugLog,
    .debugLogWanted = KernelDouble::debugLogWanted,
    .createMarker = KernelDouble::createMarker,
    .releaseMarker = KernelDouble::releaseMarker,
    .markerHolder = KernelDouble::markerHolder,
    .startThread = KernelDouble::startThread,
};

KernelDouble::KernelDouble() : previous_(kernelService) {
    active_ = this;
    kernelService = &service_;
}

KernelDouble::~KernelDouble() {
    for (std::thread& thread : threads_) {
        thread.join();
    }
    kernelService = previous_;
    active_ = nullptr;
}

void KernelDouble::sleep(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->waits_.push_back(milliseconds);
}

void KernelDouble::debugLog(const char* line) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->lines_.emplace_back(line);
}

std::vector<uint32_t> KernelDouble::waits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waits_;
}

uint64_t KernelDouble::elapsedMilliseconds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::accumulate(waits_.begin(), waits_.end(), uint64_t{0});
}

void KernelDouble::clearWaits() {
    std::lock_guard<std::mutex> lock(mutex_);
    waits_.clear();
}

std::vector<std::string> KernelDouble::logLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool KernelDouble::logged(const std::string& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

void KernelDouble::clearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

MarkerHandle KernelDouble::createMarker(const char* name, PlatformError* error) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    if (platformFailed(active_->markerFailure_)) {
        reportPlatformError(error, active_->markerFailure_);
        return NO_MARKER;
    }
    MarkerHandle marker = ++active_->lastMarker_;
    bool isNew = active_->markerHolders_.emplace(name, marker).second;
    // As Windows reports it (ERROR_ALREADY_EXISTS).
    reportPlatformError(error, isNew ? PlatformError{}
                                     : PlatformError{PLATFORM_ERROR_ALREADY_EXISTS, 183});
    return marker;
}

void KernelDouble::releaseMarker(MarkerHandle marker) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    std::erase_if(active_->markerHolders_,
                  [&](const auto& holder) { return holder.second == marker; });
}

// A marker in memory lives nowhere; its holder is this process, as far as a test cares.
void KernelDouble::markerHolder(const char* name, MarkerHolder* holder) {
    *holder = MarkerHolder{};
    snprintf(holder->place, sizeof holder->place, "marker %s", name);
}

void KernelDouble::holdMarker(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    markerHolders_.emplace(name, ++lastMarker_);
}

bool KernelDouble::markerHeld(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return markerHolders_.count(name) != 0;
}

void KernelDouble::failMarkerCreation(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    markerFailure_ = error;
}

bool KernelDouble::startThread(ThreadBody body, void* argument, uint32_t stackBytes,
                               PlatformError* error) {
    KernelDouble* self = active_;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->stackSizes_.push_back(stackBytes);
    if (platformFailed(self->threadFailure_)) {
        reportPlatformError(error, self->threadFailure_);
        return false;
    }
    ++self->runningThreads_;
    self->threads_.emplace_back(&KernelDouble::runWorker, self, body, argument);
    return true;
}

void KernelDouble::runWorker(ThreadBody body, void* argument) {
    body(argument);
    std::lock_guard<std::mutex> lock(mutex_);
    --runningThreads_;
    threadEnded_.notify_all();
}

std::vector<uint32_t> KernelDouble::threadStackSizes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stackSizes_;
}

void KernelDouble::failThreadStart(PlatformError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    threadFailure_ = error;
}

bool KernelDouble::waitForThreads(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return threadEnded_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [this] { return runningThreads_ == 0; });
}
