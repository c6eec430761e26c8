// Debugger trace lines: every line the program traces passes through Trace.
// Prefixes mark depth: "****" opens an operation, "-->" marks a step, "---->"
// a detail of a step.
//
// The texts handed to Trace at its call sites are the program's fixed texts,
// kept byte for byte, odd names and spellings included ("Installing Root Port
// USB Driver" opens every row's driver update, "Retreiving the windows path"
// the OEM INF cleanup): deployment scripts and support staff match them in
// the debugger output and the log file, so they are not corrected.
#pragma once

// Writes the text as it is (some lines end in a newline, some do not) to the
// debugger output, and hands it to the trace sink when one is set.
void Trace(const char* text);

// Formats into a 100-byte buffer, as lines with numbers are, then writes it
// through Trace.
void TraceF(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A second way out for every traced text (the run's log file). Any thread
// may trace; the sink is called with one text at a time. Once SetTraceSink
// returns, a sink it replaced is no longer being called and will not be.
using TraceSink = void (*)(void* context, const char* text);
void SetTraceSink(TraceSink sink, void* context);
