// lstrlenA and lstrlenW, as the POSIX layer and Windows give them.
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace {

TEST(StringLength, CountsUnitsAndTakesNullAsEmpty) {
    EXPECT_EQ(3, lstrlenA("abc"));
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(2, lstrlenW(OLESTR("ab")));
    EXPECT_EQ(0, lstrlenW(nullptr));
}

}  // namespace
