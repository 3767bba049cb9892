// BSTRs: length prefix, embedded zeros, null in and out.  Built for Windows the same
// cases run against the system's own functions.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using WideText = std::basic_string<WCHAR>;

TEST(Bstr, KeepsItsLengthInBytesBeforeTheText) {
    const WCHAR withZero[] = {'a', 0, 'b'};
    BSTR s = SysAllocStringLen(withZero, 3);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(6u, SysStringByteLen(s));
    EXPECT_EQ(WCHAR('b'), s[2]);
    EXPECT_EQ(WCHAR(0), s[3]);
    SysFreeString(s);

    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(nullptr, bytes);
    EXPECT_EQ(3u, SysStringByteLen(bytes));
    EXPECT_EQ(1u, SysStringLen(bytes));
    EXPECT_EQ(0, std::string(reinterpret_cast<const char*>(bytes), 4).compare(std::string("abc", 4)));
    SysFreeString(bytes);

    BSTR copy = SysAllocString(OLESTR("text"));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(4u, SysStringLen(copy));
    EXPECT_TRUE(WideText(copy) == WideText(OLESTR("text")));
    SysFreeString(copy);

    BSTR blank = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(5u, SysStringLen(blank));
    EXPECT_EQ(WCHAR(0), blank[5]);
    SysFreeString(blank);
}

TEST(Bstr, NullInGivesNullOrZeroOut) {
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    EXPECT_EQ(0u, SysStringByteLen(nullptr));
    SysFreeString(nullptr);
}

}  // namespace
