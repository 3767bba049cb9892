#include "trace/TraceCounter.h"

namespace {

// Gives the entry the default calling convention, whatever the system's.
BOOL ReadPerformanceCounter(LARGE_INTEGER* counter) { return ::QueryPerformanceCounter(counter); }

}  // namespace

BOOL (*TraceReadCounter)(LARGE_INTEGER* counter) = ReadPerformanceCounter;
