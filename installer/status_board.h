// The one status line and running flag shared by the worker and the window.
#pragma once

#include "platform/spin_lock.h"

#include <atomic>
#include <cstdint>

class StatusBoard {
public:
    static constexpr int kTextSize = 100;

    // Worker side. SetLine formats into the 100-byte line, replacing it;
    // AppendResult adds "[OK]" or "[Failed]" right after its last character.
    void SetLine(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void AppendResult(const char* result);
    void SetRunning(bool running);

    // Window side: a consistent copy of the line, and whether the worker runs.
    void CopyText(char (&out)[kTextSize]) const;
    bool IsRunning() const;

    // Called with the new line after every change (the tests record them).
    using Observer = void (*)(const char* line);
    void SetObserver(Observer observer);

    // Back to the start state: empty line, not running, no observer.
    void Reset();

private:
    void Notify();

    // The line is 100 bytes copied between two threads; the lock keeps each
    // copy whole.
    mutable plat::SpinLock lock_;
    char text[kTextSize] = {};
    std::atomic<std::uint8_t> running{0};
    std::atomic<Observer> observer_{nullptr};
};

extern StatusBoard g_status;

// How long a line stays with its "[OK]" or "[Failed]" before the next step.
constexpr std::uint32_t kResultPauseMs = 2000;
