// Debugger trace lines: every line the program traces passes through Trace.
// Prefixes mark depth: "****" opens an operation, "-->" marks a step, "---->"
// a detail of a step.
#pragma once

// Writes the text as it is (some lines end in a newline, some do not).
void Trace(const char* text);

// Formats into a 100-byte buffer, as lines with numbers are, then writes it
// through Trace.
void TraceF(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
