#include "platform/trace.h"

#include "platform/platform.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#ifndef _WIN32
#include <thread>
#endif

namespace {

// A tiny spin lock (the Windows build's thread library has no mutex type):
// it keeps the sink's calls one at a time and lets SetTraceSink wait for a
// call in progress. Traces from two threads at once are rare; a waiting one
// gives up its time slice, since the holder may be waiting for a slow write.
std::atomic_flag g_sinkLock = ATOMIC_FLAG_INIT;
TraceSink g_sink = nullptr;
void* g_sinkContext = nullptr;

void YieldTimeSlice() {
#ifdef _WIN32
    ::SwitchToThread();
#else
    std::this_thread::yield();
#endif
}

class SinkLock {
public:
    SinkLock() {
        while (g_sinkLock.test_and_set(std::memory_order_acquire)) YieldTimeSlice();
    }
    ~SinkLock() { g_sinkLock.clear(std::memory_order_release); }
    SinkLock(const SinkLock&) = delete;
    SinkLock& operator=(const SinkLock&) = delete;
};

}  // namespace

void Trace(const char* text) {
    plat::OutputDebugStringA(text);
    SinkLock hold;
    if (g_sink == nullptr) return;
    // A caller may trace between a failed call and reading its error: the
    // sink's own calls must leave the last error as they found it.
    const DWORD error = plat::GetLastError();
    g_sink(g_sinkContext, text);
    plat::SetLastError(error);
}

void TraceF(const char* format, ...) {
    char line[100];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Trace(line);
}

void SetTraceSink(TraceSink sink, void* context) {
    SinkLock hold;
    g_sink = sink;
    g_sinkContext = context;
}
