// The high-resolution counter that a trace scope reads for its duration.
#pragma once

#include "platform/Platform.h"

// Points at QueryPerformanceCounter.  Tests point it elsewhere to count the readings or to
// stage the values read; restore it before the scope that uses it ends.
extern BOOL (*TraceReadCounter)(LARGE_INTEGER* counter);
