// wvsprintfA as the trace uses it; the expected texts are what Windows prints.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <ostream>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 1100;

struct Formatted {
    int count;
    std::string text;     // the bytes the count reports
    bool terminated;      // a NUL right after them
    bool restUntouched;  // nothing written beyond the 1024 bytes allowed
};

Formatted FormatAll(const char* format, ...) {
    char buffer[kBufferSize];
    std::memset(buffer, '#', sizeof buffer);
    va_list arguments;
    va_start(arguments, format);
    const int count = wvsprintfA(buffer, format, arguments);
    va_end(arguments);
    Formatted result{count, {}, false, true};
    const std::size_t shown = count < 0 ? 0 : static_cast<std::size_t>(count > 1023 ? 1023 : count);
    result.text.assign(buffer, shown);
    result.terminated = buffer[shown] == '\0';
    for (std::size_t i = 1024; i < sizeof buffer; ++i) {
        result.restUntouched = result.restUntouched && buffer[i] == '#';
    }
    return result;
}

struct FormatCase {
    const char* name;
    std::string expected;
    Formatted (*format)();
};

void PrintTo(const FormatCase& row, std::ostream* out) { *out << row.name; }

class Wsprintf : public testing::TestWithParam<FormatCase> {};

TEST_P(Wsprintf, PrintsAsWindowsDoes) {
    const FormatCase& row = GetParam();
    const Formatted result = row.format();
    EXPECT_EQ(result.text, row.expected);
    EXPECT_EQ(result.count, static_cast<int>(row.expected.size()));
    EXPECT_TRUE(result.terminated);
}

const std::string kPointerAbc = sizeof(void*) == 8 ? "0000000000000ABC" : "00000ABC";

INSTANTIATE_TEST_SUITE_P(
    Conversions, Wsprintf,
    testing::Values(
        FormatCase{"TraceLine", "WinMain <0x1f4>: Duration: -3 ticks.",
                   [] { return FormatAll("%s <0x%x>: %s", "WinMain", 500u, "Duration: -3 ticks."); }},
        FormatCase{"Decimal", "-2147483648|0|42", [] { return FormatAll("%d|%i|%d", INT_MIN, 0, 42); }},
        FormatCase{"Unsigned", "4294967295", [] { return FormatAll("%u", 0xFFFFFFFFu); }},
        FormatCase{"Hex", "deadbeef|ABC", [] { return FormatAll("%x|%X", 0xDEADBEEFu, 0xABCu); }},
        FormatCase{"LongIs32Bits", "-7 7 ff FF 9",
                   [] { return FormatAll("%ld %lu %lx %lX %li", LONG{-7}, DWORD{7}, DWORD{255}, DWORD{255}, LONG{9}); }},
        FormatCase{"Width", "   42|42   |", [] { return FormatAll("%5d|%-5d|", 42, 42); }},
        FormatCase{"ZeroPadding", "00042|-0005", [] { return FormatAll("%05d|%05d", 42, -5); }},
        FormatCase{"SignCountsInPrecision", "007|-07|  -07", [] { return FormatAll("%.3d|%.3d|%5.3d", 7, -7, -7); }},
        FormatCase{"ZeroPaddingFillsTheWidth", "0000000012|      0012|0012      |",
                   [] { return FormatAll("%010.4d|%10.4d|%-10.4d|", 12, 12, 12); }},
        FormatCase{"ZeroKeepsItsDigit", "0", [] { return FormatAll("%.0d", 0); }},
        FormatCase{"LeftAlignmentWinsOverZeros", "3    |", [] { return FormatAll("%-05d|", 3); }},
        FormatCase{"HexPrefix", "0x2a|0X2A|0x0", [] { return FormatAll("%#x|%#X|%#x", 42u, 42u, 0u); }},
        FormatCase{"HexPrefixOutsideTheWidth", "0x0000002a|      0x2a|0x2a      |0x002a",
                   [] { return FormatAll("%#08x|%#8x|%-#8x|%#.4x", 42u, 42u, 42u, 42u); }},
        FormatCase{"Strings", "   ab|ab   |   ab|abc|", [] { return FormatAll("%5.2s|%-5s|%05s|%.0s|", "abcdef", "ab", "ab", "abc"); }},
        FormatCase{"NullString", "(null)", [] { return FormatAll("%s", static_cast<const char*>(nullptr)); }},
        FormatCase{"WideStrings", "wide|   ab|ab",
                   [] { return FormatAll("%ls|%5.2S|%hS", OLESTR("wide"), OLESTR("abcd"), "ab"); }},
        FormatCase{"Chars", "A|    a|a    |a", [] { return FormatAll("%c|%5c|%-5c|%.3c", 'A', 'a', 'a', 'a'); }},
        FormatCase{"WideChars", "W|Q", [] { return FormatAll("%lc|%C", static_cast<int>(OLESTR('W')), static_cast<int>(OLESTR('Q'))); }},
        FormatCase{"CharZeroIsCounted", std::string("[\0]", 3), [] { return FormatAll("[%c]", 0); }},
        FormatCase{"Pointer", kPointerAbc, [] { return FormatAll("%p", reinterpret_cast<void*>(0xABC)); }},
        FormatCase{"Percent", "100%", [] { return FormatAll("100%%"); }},
        FormatCase{"UnknownConversionIsText", "afb|a     yb|+d|*d", [] { return FormatAll("a%fb|a%5yb|%+d|%*d"); }},
        FormatCase{"FlagsOnlyInTheirOrder", "-5d|-5x|", [] { return FormatAll("%0-5d|%#-5x|"); }},
        FormatCase{"TrailingPercentDropped", "ab", [] { return FormatAll("ab%"); }}),
    RowName<FormatCase>);

struct CutCase {
    const char* name;
    std::size_t length;
    std::size_t kept;
    int count;
};

void PrintTo(const CutCase& row, std::ostream* out) { *out << row.name; }

class WsprintfCut : public testing::TestWithParam<CutCase> {};

// The output stops at 1023 characters and its terminator; an output that reaches the
// limit reports the whole buffer, 1024.
TEST_P(WsprintfCut, KeepsAtMost1023Characters) {
    const CutCase& row = GetParam();
    const std::string text(row.length, 'a');
    const Formatted result = FormatAll("%s", text.c_str());
    EXPECT_EQ(result.text, std::string(row.kept, 'a'));
    EXPECT_EQ(result.count, row.count);
    EXPECT_TRUE(result.terminated);
    EXPECT_TRUE(result.restUntouched);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WsprintfCut,
                         testing::Values(CutCase{"Below", 1022, 1022, 1022}, CutCase{"AtTheLimit", 1023, 1023, 1024},
                                         CutCase{"Beyond", 3000, 1023, 1024}),
                         RowName<CutCase>);

TEST(WsprintfCutPadding, PaddingGivesWayToTheValueAtTheLimit) {
    const Formatted width = FormatAll("x%2000d", 5);
    EXPECT_EQ(width.text, "x" + std::string(1021, ' ') + "5");
    EXPECT_TRUE(width.terminated);
    EXPECT_TRUE(width.restUntouched);
    const Formatted precision = FormatAll("%.2000d", 5);
    EXPECT_EQ(precision.text, std::string(1022, '0') + "5");
    EXPECT_TRUE(precision.restUntouched);
}

}  // namespace
