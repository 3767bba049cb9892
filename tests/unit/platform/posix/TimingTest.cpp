// The POSIX performance counter counts nanoseconds of a monotonic clock.
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace {

TEST(PosixCounter, TicksAreNanoseconds) {
    LARGE_INTEGER before{};
    LARGE_INTEGER after{};
    QueryPerformanceCounter(&before);
    Sleep(20);
    QueryPerformanceCounter(&after);
    EXPECT_GE(after.QuadPart - before.QuadPart, 20000000);
    EXPECT_LT(after.QuadPart - before.QuadPart, 20000000000);
}

}  // namespace
