// The process-wide switch word of the trace.  Each kind of trace line has one bit, tested
// where the line would be produced; with the word at 0 (its value at start) no line is
// formatted, no counter is read and nothing is allocated.
#pragma once

#include "platform/Platform.h"

// Read afresh at every test; never cache a copy.  Nothing in the utility writes it.
extern DWORD TraceFlags;

constexpr DWORD TraceProgress = 0x1;       // the driver's progress lines
constexpr DWORD TraceEntryExit = 0x8;      // "Entering" and "Exiting" of a scope
constexpr DWORD TraceDuration = 0x20;      // counter readings and the "Duration" line
constexpr DWORD TraceThreadId = 0x100000;  // the calling thread's identifier in every line

// For tests and diagnostic builds: replaces the word and returns its previous value.
DWORD SetTraceFlags(DWORD flags);
