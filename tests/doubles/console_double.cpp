#include "tests/doubles/console_double.h"

#include <cstdio>

ConsoleDouble* ConsoleDouble::active_ = nullptr;

const ConsoleService ConsoleDouble::service_ = {
    .isTerminal = ConsoleDouble::isTerminal,
    .readLine = ConsoleDouble::readLine,
    .watchInterrupts = ConsoleDouble::watchInterrupts,
};

ConsoleDouble::ConsoleDouble() : previous_(consoleService) {
    active_ = this;
    consoleService = &service_;
}

ConsoleDouble::~ConsoleDouble() {
    consoleService = previous_;
    active_ = nullptr;
}

void ConsoleDouble::setTerminal(ConsoleStream stream, bool terminal) {
    std::lock_guard<std::mutex> lock(mutex_);
    terminal_[stream] = terminal;
}

void ConsoleDouble::typeLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
}

int ConsoleDouble::linesRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return linesRead_;
}

bool ConsoleDouble::interrupt(ConsoleInterrupt interrupt) {
    ConsoleInterruptHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = handler_;
    }
    if (handler == nullptr) {
        return false;
    }
    handler(interrupt);
    return true;
}

bool ConsoleDouble::isTerminal(ConsoleStream stream) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    return active_->terminal_[stream];
}

bool ConsoleDouble::readLine(char* buffer, uint32_t size) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    if (active_->lines_.empty()) {
        return false;
    }
    snprintf(buffer, size, "%s", active_->lines_.front().c_str());
    active_->lines_.pop_front();
    ++active_->linesRead_;
    return true;
}

bool ConsoleDouble::watchInterrupts(ConsoleInterruptHandler handler, PlatformError*) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->handler_ = handler;
    return true;
}
