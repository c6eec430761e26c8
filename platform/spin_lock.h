// A lock for the few short sections that two threads share (the status line,
// the trace sink). The Windows build's thread library has no mutex type, so
// it spins on an atomic flag; a waiting thread gives up its time slice, since
// the holder may be waiting for a slow write.
#pragma once

#include "platform.h"

#include <atomic>
#ifndef _WIN32
#include <thread>
#endif

namespace plat {

class SpinLock {
public:
    void Lock() {
        while (flag_.test_and_set(std::memory_order_acquire)) {
#ifdef _WIN32
            ::SwitchToThread();
#else
            std::this_thread::yield();
#endif
        }
    }
    void Unlock() { flag_.clear(std::memory_order_release); }

    // Holds the lock for as long as it lives.
    class Hold {
    public:
        explicit Hold(SpinLock& lock) : lock_(lock) { lock_.Lock(); }
        ~Hold() { lock_.Unlock(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        SpinLock& lock_;
    };

private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

}  // namespace plat
