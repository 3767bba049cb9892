// The one owner of system handles, over a kind whose close is logged and fails when told to:
// each value is closed once, on every path; a close on the caller's behalf leaves the
// caller's last error; a close the caller judges reports the system's answer and error.
#include "platform/ScopedHandle.h"

#include "platform/KeptLastError.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int> g_closed;
bool g_closeFails = false;

struct LoggedKind {
    using Type = int;
    using KeptError = platform::KeptLastError;
    static Type Invalid() noexcept { return 0; }
    static bool Close(Type value) noexcept {
        g_closed.push_back(value);
        SetLastError(g_closeFails ? ERROR_GEN_FAILURE : ERROR_SUCCESS);
        return !g_closeFails;
    }
};

using Owner = platform::ScopedHandle<LoggedKind>;

class ScopedHandleTest : public testing::Test {
protected:
    void SetUp() override {
        g_closed.clear();
        g_closeFails = true;
    }
};

TEST_F(ScopedHandleTest, ClosesEachValueOnceAndKeepsTheCallersError) {
    {
        Owner owner(7);
        SetLastError(ERROR_ACCESS_DENIED);
        owner.Reset(8);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "the close replaced the caller's error";
        int* out = owner.Put();
        EXPECT_EQ(*out, 0) << "Put hands out an empty place";
        *out = 9;
        Owner moved(std::move(owner));
        EXPECT_TRUE(owner.IsEmpty());
        EXPECT_EQ(moved.Get(), 9);
        Owner other(10);
        other = std::move(moved);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(g_closed, (std::vector<int>{7, 8, 10, 9}));
}

TEST_F(ScopedHandleTest, DetachHandsTheValueOverUnclosed) {
    Owner owner(5);
    EXPECT_EQ(owner.Detach(), 5);
    EXPECT_TRUE(owner.IsEmpty());
    owner.Reset();
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(ScopedHandleTest, CloseReportsTheSystemsAnswer) {
    Owner failing(3);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(failing.Close());
    EXPECT_EQ(GetLastError(), DWORD{ERROR_GEN_FAILURE}) << "a judged close leaves its own error";
    EXPECT_TRUE(failing.IsEmpty());

    g_closeFails = false;
    Owner closing(4);
    EXPECT_TRUE(closing.Close());
    Owner empty;
    EXPECT_FALSE(empty.Close()) << "nothing held is nothing closed";
    EXPECT_EQ(g_closed, (std::vector<int>{3, 4}));
}

}  // namespace
