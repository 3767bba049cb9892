// Thread identity, the high-resolution counter and the pause.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(ThreadId, StableWithinAThreadAndDistinctBetweenThreads) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), mine);
    DWORD other = mine;
    std::thread worker([&other] { other = GetCurrentThreadId(); });
    worker.join();
    EXPECT_NE(other, mine);
}

TEST(Counter, NeverGoesBackAcrossAPause) {
    LARGE_INTEGER before{};
    LARGE_INTEGER after{};
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    const auto start = std::chrono::steady_clock::now();
    Sleep(30);
    const auto slept = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_GE(slept, std::chrono::milliseconds(30));
    EXPECT_GT(after.QuadPart, before.QuadPart);
}

}  // namespace
