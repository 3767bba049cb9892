#include "trace/TraceFlags.h"

// Zero-initialized data: usable before any static constructor has run.
DWORD TraceFlags = 0;

DWORD SetTraceFlags(DWORD flags) {
    const DWORD previous = TraceFlags;
    TraceFlags = flags;
    return previous;
}
