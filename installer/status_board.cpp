#include "installer/status_board.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

StatusBoard g_status;

void StatusBoard::SetLine(const char* format, ...) {
    char line[kTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    {
        plat::SpinLock::Hold hold(lock_);
        std::memcpy(text, line, sizeof text);
    }
    Notify();
}

void StatusBoard::AppendResult(const char* result) {
    {
        plat::SpinLock::Hold hold(lock_);
        const std::size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, "%s", result);
    }
    Notify();
}

void StatusBoard::SetRunning(bool isRunning) {
    running.store(isRunning ? 1 : 0, std::memory_order_release);
}

bool StatusBoard::IsRunning() const { return running.load(std::memory_order_acquire) == 1; }

void StatusBoard::CopyText(char (&out)[kTextSize]) const {
    plat::SpinLock::Hold hold(lock_);
    std::memcpy(out, text, sizeof text);
}

void StatusBoard::SetObserver(Observer observer) { observer_.store(observer); }

void StatusBoard::Notify() {
    if (Observer observer = observer_.load()) {
        char line[kTextSize];
        CopyText(line);
        observer(line);
    }
}

void StatusBoard::Reset() {
    {
        plat::SpinLock::Hold hold(lock_);
        std::memset(text, 0, sizeof text);
    }
    running.store(0);
    observer_.store(nullptr);
}
