// The last error, kept per thread as on Windows.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Only each thread's own view is checked: starting and joining a thread are calls that
// may set the caller's last error themselves.
TEST(LastError, BelongsToTheThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenAtStart = 1;
    DWORD seenAfterSet = 1;
    std::thread other([&] {
        seenAtStart = GetLastError();
        SetLastError(ERROR_DISK_FULL);
        seenAfterSet = GetLastError();
    });
    other.join();
    EXPECT_EQ(0u, seenAtStart);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), seenAfterSet);
    EXPECT_NE(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
}

}  // namespace
