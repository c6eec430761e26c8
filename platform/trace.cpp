#include "platform/trace.h"

#include "platform/platform.h"
#include "platform/spin_lock.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Keeps the sink's calls one at a time and lets SetTraceSink wait for a call
// in progress; traces from two threads at once are rare.
plat::SpinLock g_sinkLock;
TraceSink g_sink = nullptr;
void* g_sinkContext = nullptr;

}  // namespace

void Trace(const char* text) {
    plat::OutputDebugStringA(text);
    plat::SpinLock::Hold hold(g_sinkLock);
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
    plat::SpinLock::Hold hold(g_sinkLock);
    g_sink = sink;
    g_sinkContext = context;
}
