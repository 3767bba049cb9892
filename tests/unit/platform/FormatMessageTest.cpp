// FormatMessageA's insert rules for a message given as a string, the way the text
// string formats the catalogue's messages.  Built for Windows the cases run against the
// system's own FormatMessageA.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

constexpr DWORD kFromStringAllocate = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;

struct Formatted {
    DWORD count;
    DWORD error;  // the last error, when the count is 0
    bool allocated;
    std::string text;
};

Formatted Format(const char* message, ...) {
    va_list arguments;
    va_start(arguments, message);
    char* output = nullptr;
    SetLastError(0);
    const DWORD count = FormatMessageA(kFromStringAllocate, message, 0, 0, reinterpret_cast<LPSTR>(&output), 1, &arguments);
    const DWORD error = count == 0 ? GetLastError() : 0;
    va_end(arguments);
    Formatted result{count, error, output != nullptr, output != nullptr ? output : ""};
    LocalFree(output);
    return result;
}

struct Case {
    const char* name;
    Formatted actual;
    std::string expected;
};

TEST(FormatMessageInserts, FillNumberedInsertsAndCopyEverythingElse) {
    const WCHAR wide[] = {'w', 'i', 'd', 'e', 0};
    const Case cases[] = {
        {"plain insert is a narrow string", Format("Card %1 is full", "E"), "Card E is full"},
        {"inserts in any order", Format("%2 then %1", "first", "second"), "second then first"},
        {"an insert used twice", Format("%1%3%2%1", "t", "s", "e"), "test"},
        {"an insert read past unused numbers", Format("%3!d!", "a", "b", -42), "-42"},
        {"explicit string form", Format("[%1!s!]", "x"), "[x]"},
        {"signed decimal", Format("%1!d! MB", 1024), "1024 MB"},
        {"width", Format("[%1!5d!]", 42), "[   42]"},
        {"left aligned", Format("[%1!-5d!]", 42), "[42   ]"},
        {"zero padded", Format("[%1!05d!]", 42), "[00042]"},
        {"precision of an integer", Format("[%1!.3d!]", 7), "[007]"},
        {"an integer wider than 159 characters", Format("[%1!200d!]", 42), "[" + std::string(198, ' ') + "42]"},
        {"sign shown", Format("[%1!+d!]", 5), "[+5]"},
        {"hexadecimal", Format("%1!x! %1!X! %1!#x!", 255), "ff FF 0xff"},
        {"unsigned", Format("%1!u!", -1), "4294967295"},
        {"octal", Format("%1!o!", 8), "10"},
        {"string width", Format("[%1!3s!][%2!-3s!]", "a", "b"), "[  a][b  ]"},
        {"string precision", Format("[%1!.2s!]", "abc"), "[ab]"},
        {"narrow character", Format("%1!c!%2!c!", 'o', 'k'), "ok"},
        {"wide string forms", Format("%1!ls! %2!S! %3!ws!", wide, wide, wide), "wide wide wide"},
        {"wide character", Format("%1!lc!", static_cast<int>('w')), "w"},
        {"null string", Format("%1", static_cast<const char*>(nullptr)), "(null)"},
        {"escaped characters", Format("100%% %. %! % end"), "100% . !  end"},
        {"line breaks and tab", Format("a%nb%rc%td"), "a\r\nb\rc\td"},
        {"%0 ends the message", Format("kept%0dropped %1", "x"), "kept"},
        {"CR LF copied", Format("one\r\ntwo"), "one\r\ntwo"},
        {"lone LF and CR become CR LF", Format("one\ntwo\rthree"), "one\r\ntwo\r\nthree"},
        {"no line-width limit", Format("%1", std::string(300, 'x').c_str()), std::string(300, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, c.actual.text);
        EXPECT_EQ(c.expected.size(), c.actual.count);
        EXPECT_TRUE(c.actual.allocated);
    }
}

TEST(FormatMessageInserts, RefuseAMalformedMessage) {
    const Case cases[] = {
        {"lone percent sign", Format("%"), ""},
        {"percent sign at the end", Format("50%", 1), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(0u, c.actual.count);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), c.actual.error);
        EXPECT_FALSE(c.actual.allocated);
    }
}

TEST(FormatMessageInserts, InsertsWithoutArgumentsAreRefused) {
    char* output = nullptr;
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageA(kFromStringAllocate, "%1", 0, 0, reinterpret_cast<LPSTR>(&output), 1, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, output);
}

TEST(FormatMessageInserts, AnEmptyResultAllocatesNothing) {
    const Formatted empty = Format("");
    EXPECT_EQ(0u, empty.count);
    EXPECT_FALSE(empty.allocated);
    const Formatted ended = Format("%0text");
    EXPECT_EQ(0u, ended.count);
    EXPECT_FALSE(ended.allocated);
}

TEST(FormatMessageInserts, TheCallersBufferMustHoldTheTerminator) {
    char exact[5] = "????";
    EXPECT_EQ(4u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "text", 0, 0, exact, sizeof exact, nullptr));
    EXPECT_STREQ("text", exact);

    char small[4] = "???";
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "text", 0, 0, small, sizeof small, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(FormatMessageInserts, TheAllocatedBlockIsAtLeastTheMinimumSize) {
    char* output = nullptr;
    const DWORD count =
        FormatMessageA(kFromStringAllocate, "ab", 0, 0, reinterpret_cast<LPSTR>(&output), 64, nullptr);
    ASSERT_NE(nullptr, output);
    EXPECT_EQ(2u, count);
    output[63] = 'x';  // within the block: sanitizers and Wine's heap checks object otherwise
    EXPECT_STREQ("ab", output);
    LocalFree(output);
}

}  // namespace
