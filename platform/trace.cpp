#include "platform/trace.h"

#include "platform/platform.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

// A tiny spin lock (the Windows build's thread library has no mutex type):
// it keeps the sink's calls one at a time and lets SetTraceSink wait for a
// call in progress. Traces from two threads at once are rare.
std::atomic_flag g_sinkLock = ATOMIC_FLAG_INIT;
TraceSink g_sink = nullptr;
void* g_sinkContext = nullptr;

class SinkLock {
public:
    SinkLock() {
        while (g_sinkLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SinkLock() { g_sinkLock.clear(std::memory_order_release); }
    SinkLock(const SinkLock&) = delete;
    SinkLock& operator=(const SinkLock&) = delete;
};

}  // namespace

void Trace(const char* text) {
    plat::OutputDebugStringA(text);
    SinkLock hold;
    if (g_sink != nullptr) g_sink(g_sinkContext, text);
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
