// Narrow text in an ANSI code page whose characters take more than one byte: code page
// 932 under Wine (two bytes for the characters used here), UTF-8 natively (three).  The
// expected bytes come from the system's own conversion, so one set of cases serves both.
#include "text/TextString.h"

#include "com/WideStringHandle.h"
#include "support/Tracking.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using WideText = std::basic_string<WCHAR>;

const WCHAR kSun[] = {0x65E5, 0};       // the first of "Nihon"
const WCHAR kBook[] = {0x672C, 0};      // its second character
const WCHAR kLanguage[] = {0x8A9E, 0};  // a third

std::string Narrow(const WCHAR* text) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], bytes, nullptr, nullptr);
    }
    narrow.resize(narrow.size() - 1);
    return narrow;
}

class MultiByteCodePage : public ::testing::Test {
protected:
    void SetUp() override {
        sun_ = Narrow(kSun);
        book_ = Narrow(kBook);
        ASSERT_GE(sun_.size(), 2u) << "needs a multibyte ANSI code page: LC_ALL=C.UTF-8, or ja_JP.UTF-8 under Wine";
        ASSERT_GE(book_.size(), 2u);
    }

    std::string sun_;
    std::string book_;
};

TEST_F(MultiByteCodePage, NarrowCharLengthStepsOverWholeCharacters) {
    const std::string cutShort = sun_.substr(0, sun_.size() - 1);
    EXPECT_EQ(static_cast<int>(sun_.size()), platform::NarrowCharLength(sun_.c_str()));
    EXPECT_EQ(-1, platform::NarrowCharLength(cutShort.c_str()));
    EXPECT_EQ(1, platform::NarrowCharLength("a"));
    EXPECT_EQ(0, platform::NarrowCharLength(""));
}

TEST_F(MultiByteCodePage, LeftAndMidTakeWholeCharacters) {
    const TextString text((sun_ + book_ + "a").c_str());
    const TextString first = text.Left(1);
    EXPECT_EQ(sun_, first.Text());
    EXPECT_EQ(sun_.size(), first.Length());
    EXPECT_EQ(book_, std::string(text.Mid(1, 1).Text()));
    EXPECT_STREQ("a", text.Mid(2, 1).Text());
    EXPECT_EQ(sun_ + book_, text.Left(2).Text());
}

TEST_F(MultiByteCodePage, ALeadByteBeforeTheTerminatorIsNoCharacter) {
    const TextString cut(sun_.substr(0, 1).c_str());
    EXPECT_EQ(0u, cut.Left(1).Length());
}

// The narrow copy and AssignWide are sized by the converter: in UTF-8 these characters
// need three bytes for each UTF-16 unit, more than two bytes a unit plus two.
TEST_F(MultiByteCodePage, NarrowConversionsKeepTheWholeText) {
    const WCHAR text[] = {kSun[0], kBook[0], kLanguage[0], kSun[0], kBook[0], kLanguage[0], 0};
    const std::string expected = Narrow(text);

    const WideStringHandle handle(text);
    EXPECT_EQ(expected, handle.Narrow());

    TaskAllocationLog log;
    TextString s;
    s.AssignWide(text);
    EXPECT_EQ(expected, s.Text());
    EXPECT_EQ(expected.size(), s.Length());
    EXPECT_EQ(std::vector<SIZE_T>{expected.size() + 1}, TaskAllocationLog::Sizes());
}

TEST_F(MultiByteCodePage, NarrowTextBecomesTheSameUnitsAgain) {
    const WideStringHandle handle((sun_ + book_).c_str());
    EXPECT_TRUE((WideText{kSun[0], kBook[0]}) == WideText(handle.Wide(), handle.Length()));
}

// Width counts bytes, as printf does; Wine's FormatMessageA counts them the same way.
TEST_F(MultiByteCodePage, FormatWidthCountsBytes) {
    TextString s;
    s.Format("[%1!-4s!]", sun_.c_str());
    EXPECT_EQ("[" + sun_ + std::string(4 - sun_.size(), ' ') + "]", s.Text());
}

}  // namespace
