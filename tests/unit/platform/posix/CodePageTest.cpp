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

// File names are bytes: UTF-8 where they are, any other byte kept as the lone surrogate
// U+DC00 + byte, in both directions, whatever the locale.
TEST(PosixCodePage, FileNamesKeepTheirBytesBothWays) {
    const struct {
        const char* name;
        std::string bytes;
        std::basic_string<WCHAR> units;
    } rows[] = {
        {"utf8", "/media/Caf\xC3\xA9/", u"/media/Caf\u00E9/"},
        {"latin1", "/media/Caf\xE9 \xA9/", std::basic_string<WCHAR>(u"/media/Caf") + WCHAR{0xDCE9} + u" " +
                                                 WCHAR{0xDCA9} + u"/"},
        {"encodedSurrogate", "\xED\xB3\xA9", {WCHAR{0xDCED}, WCHAR{0xDCB3}, WCHAR{0xDCA9}}},
        {"cutShortAtTheEnd", "a\xE2\x82", {u'a', WCHAR{0xDCE2}, WCHAR{0xDC82}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int byteCount = static_cast<int>(row.bytes.size());
        std::basic_string<WCHAR> units(row.units.size() + 4, 0);
        ASSERT_EQ(MultiByteToWideChar(CP_POSIX_FILE_NAMES, MB_ERR_INVALID_CHARS, row.bytes.data(), byteCount, &units[0],
                                      static_cast<int>(units.size())),
                  static_cast<int>(row.units.size()));
        units.resize(row.units.size());
        EXPECT_EQ(units, row.units);
        std::string back(row.bytes.size() + 4, '\0');
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(CP_POSIX_FILE_NAMES, WC_NO_BEST_FIT_CHARS, row.units.data(),
                                      static_cast<int>(row.units.size()), &back[0], static_cast<int>(back.size()),
                                      nullptr, &usedDefault),
                  byteCount);
        back.resize(row.bytes.size());
        EXPECT_EQ(back, row.bytes);
        EXPECT_FALSE(usedDefault);
    }
}

// A lone surrogate that stands for no byte is no name: a default character, reported, or
// with WC_ERR_INVALID_CHARS a failure.
TEST(PosixCodePage, FileNamesRefuseSurrogatesThatStandForNoByte) {
    for (const WCHAR unit : {WCHAR{0xD800}, WCHAR{0xDC7F}, WCHAR{0xDD00}}) {
        SCOPED_TRACE(unit);
        const WCHAR name[] = {u'/', unit, u'/'};
        char narrow[8] = {};
        BOOL usedDefault = FALSE;
        EXPECT_EQ(WideCharToMultiByte(CP_POSIX_FILE_NAMES, WC_NO_BEST_FIT_CHARS, name, 3, narrow, 8, nullptr,
                                      &usedDefault),
                  3);
        EXPECT_TRUE(usedDefault);
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_POSIX_FILE_NAMES, WC_ERR_INVALID_CHARS, name, 3, narrow, 8, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    }
}

}  // namespace
