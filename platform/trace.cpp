#include "platform/trace.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

void Trace(const char* text) { plat::OutputDebugStringA(text); }

void TraceF(const char* format, ...) {
    char line[100];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Trace(line);
}
