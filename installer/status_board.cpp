#include "installer/status_board.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

StatusBoard g_status;

// The line is 100 bytes copied between two threads; a tiny spin lock keeps
// each copy whole without needing a mutex type from the thread library.
void StatusBoard::Lock() const {
    while (lock_.test_and_set(std::memory_order_acquire)) {
    }
}

void StatusBoard::Unlock() const { lock_.clear(std::memory_order_release); }

void StatusBoard::SetLine(const char* format, ...) {
    char line[kTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Lock();
    std::memcpy(text, line, sizeof text);
    Unlock();
    Notify();
}

void StatusBoard::AppendResult(const char* result) {
    Lock();
    const std::size_t used = std::strlen(text);
    std::snprintf(text + used, sizeof text - used, "%s", result);
    Unlock();
    Notify();
}

void StatusBoard::SetRunning(bool isRunning) {
    running.store(isRunning ? 1 : 0, std::memory_order_release);
}

bool StatusBoard::IsRunning() const { return running.load(std::memory_order_acquire) == 1; }

void StatusBoard::CopyText(char (&out)[kTextSize]) const {
    Lock();
    std::memcpy(out, text, sizeof text);
    Unlock();
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
    Lock();
    std::memset(text, 0, sizeof text);
    Unlock();
    running.store(0);
    observer_.store(nullptr);
}
