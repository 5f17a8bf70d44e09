#include "tests/doubles/kernel_double.h"

#include <algorithm>
#include <numeric>

KernelDouble* KernelDouble::active_ = nullptr;

const KernelService KernelDouble::service_ = {
    KernelDouble::sleep,
    KernelDouble::debugLog,
    KernelDouble::createMarker,
    KernelDouble::releaseMarker,
};

KernelDouble::KernelDouble() : previous_(kernelService) {
    active_ = this;
    kernelService = &service_;
}

KernelDouble::~KernelDouble() {
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
    if (active_->markerFailure_ != 0) {
        reportPlatformError(error, active_->markerFailure_);
        return NO_MARKER;
    }
    MarkerHandle marker = ++active_->lastMarker_;
    bool isNew = active_->markerHolders_.emplace(name, marker).second;
    reportPlatformError(error, isNew ? 0 : PLATFORM_ERROR_ALREADY_EXISTS);
    return marker;
}

void KernelDouble::releaseMarker(MarkerHandle marker) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    std::erase_if(active_->markerHolders_,
                  [&](const auto& holder) { return holder.second == marker; });
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
