// The POSIX ANSI code page is the locale's character set, looked up again when the locale
// changes.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace {

// The converters kept between conversions belong to a character set: after the locale
// changes, the ANSI code page is the new locale's, and again the old one's after it
// changes back.
TEST(PosixCodePage, AnsiConversionsFollowTheLocaleAcrossChanges) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const struct {
        const char* locale;
        const char* narrow;  // U+00E9 in the locale's character set
    } cases[] = {{"C", "\xE9"}, {"C.UTF-8", "\xC3\xA9"}, {"C", "\xE9"}};
    for (const auto& c : cases) {
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr) << c.locale;
        WCHAR wide[4] = {};
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.narrow, -1, wide, 4), 2) << c.locale;
        EXPECT_EQ(wide[0], WCHAR{0xE9}) << c.locale;
        char narrow[8] = {};
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 8, nullptr, nullptr),
                  static_cast<int>(std::strlen(c.narrow)) + 1)
            << c.locale;
        EXPECT_STREQ(narrow, c.narrow) << c.locale;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
