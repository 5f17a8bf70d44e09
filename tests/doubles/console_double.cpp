#include "tests/doubles/console_double.h"

#include <cstdio>

ConsoleDouble* ConsoleDouble::active_ = nullptr;

const ConsoleService ConsoleDouble::service_ = {
    .isTerminal = ConsoleDouble::isTerminal,
    .enableEscapes = ConsoleDouble::enableEscapes,
    .readLine = ConsoleDouble::readLine,
    .watchInterrupts = ConsoleDouble::watchInterrupts,
};

ConsoleDouble::ConsoleDouble() : previous_(consoleService) {
    active_ = this;
    consoleService = &service_;
}

ConsoleDouble::~ConsoleDouble() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        inputOpen_ = false;
        changed_.notify_all();
        changed_.wait(lock, [this] { return readsWaiting_ == 0; });
    }
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
    changed_.notify_all();
}

int ConsoleDouble::linesRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return linesRead_;
}

void ConsoleDouble::keepInputOpen() {
    std::lock_guard<std::mutex> lock(mutex_);
    inputOpen_ = true;
}

void ConsoleDouble::waitForRead() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return readsWaiting_ > 0; });
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

bool ConsoleDouble::enableEscapes(ConsoleStream stream) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    return active_->terminal_[stream] && !active_->escapesRefused_;
}

void ConsoleDouble::refuseEscapes() {
    std::lock_guard<std::mutex> lock(mutex_);
    escapesRefused_ = true;
}

bool ConsoleDouble::readLine(char* buffer, uint32_t size) {
    ConsoleDouble* console = active_;
    std::unique_lock<std::mutex> lock(console->mutex_);
    ++console->readsWaiting_;
    console->changed_.notify_all();
    console->changed_.wait(lock,
                           [console] { return !console->lines_.empty() || !console->inputOpen_; });
    --console->readsWaiting_;
    console->changed_.notify_all();
    if (console->lines_.empty()) {
        return false;
    }
    snprintf(buffer, size, "%s", console->lines_.front().c_str());
    console->lines_.pop_front();
    ++console->linesRead_;
    return true;
}

bool ConsoleDouble::watchInterrupts(ConsoleInterruptHandler handler, PlatformError*) {
    std::lock_guard<std::mutex> lock(active_->mutex_);
    active_->handler_ = handler;
    return true;
}
