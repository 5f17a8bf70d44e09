#include "tests/doubles/kernel_double.h"

#include <algorithm>
#include <numeric>

KernelDouble* KernelDouble::active_ = nullptr;

const KernelService KernelDouble::service_ = {
    KernelDouble::sleep,
    KernelDouble::debugLog,
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
