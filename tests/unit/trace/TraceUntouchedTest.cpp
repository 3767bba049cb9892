// What a run leaves untouched while the flags word is 0, seen in a process where nothing
// has traced before.
#include "platform/SystemApi.h"
#include "support/FaultInjection.h"
#include "trace/TraceFlags.h"
#include "trace/TraceScope.h"
#include "trace/TraceSink.h"

#include <gtest/gtest.h>

namespace {

int readings = 0;

BOOL CountingCounter(LARGE_INTEGER* counter) {
    ++readings;
    counter->QuadPart = 0;
    return TRUE;
}

TEST(TraceUntouched, FlagsZeroReadNoCounterAndCreateNoListUntilALineIsDelivered) {
    ASSERT_EQ(TraceSinkList::Existing(), nullptr);
    ASSERT_EQ(TraceFlags, 0u);
    ScopedOverride counting(&platform::SystemApi::QueryPerformanceCounter, &CountingCounter);

    { TraceScope scope("WinMain"); }
    EXPECT_EQ(readings, 0);
    EXPECT_EQ(TraceSinkList::Existing(), nullptr);

    // The first delivered line creates the list, empty, and is dropped.
    SetTraceFlags(TraceEntryExit);
    { TraceScope scope("WinMain"); }
    SetTraceFlags(0);
    EXPECT_EQ(readings, 0);
    ASSERT_NE(TraceSinkList::Existing(), nullptr);
    EXPECT_EQ(TraceSinkList::Existing()->Count(), 0u);
}

}  // namespace
