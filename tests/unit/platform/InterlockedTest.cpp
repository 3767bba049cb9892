// The interlocked steps that count a shared string's references.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Interlocked, StepsAreAtomicAndReturnTheNewValue) {
    LONG volatile count = 0;
    EXPECT_EQ(1, InterlockedIncrement(&count));
    EXPECT_EQ(0, InterlockedDecrement(&count));
    auto work = [&count] {
        for (int i = 0; i < 20000; ++i) {
            InterlockedIncrement(&count);
            InterlockedDecrement(&count);
            InterlockedIncrement(&count);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(40000, count);
}

}  // namespace
