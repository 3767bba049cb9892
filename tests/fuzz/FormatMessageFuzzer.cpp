// Message formatting with arbitrary format text: FormatMessageA of the POSIX layer and
// TextString::Format over it, in a UTF-8 locale.
//
// Every format gets the same 99 inserts, each number with a fixed type (narrow text,
// integer or wide text, in the pattern of the catalogue's "%1 ... %2 ... %3!d!").  The
// types a format asks for are read from it first; only a format whose inserts all match
// that pattern is given the inserts, any other is formatted without an argument list,
// which must then fail.  Checked: the output is a terminated text of the returned
// length, from LocalAlloc or in the caller's buffer, and every insert in it takes at
// least its width; text without '%' comes back with its line ends made CR LF;
// TextString::Format gives the same text and count, also when the format is the
// string's own text; one number used as two types is refused.
#include "tests/fuzz/FuzzCheck.h"

#include "text/TextString.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

enum class Kind { Unused, NarrowText, WideText, Integer };

constexpr int kInserts = 99;

constexpr Kind KindOf(int number) {
    switch (number % 4) {
        case 1:
        case 2:
            return Kind::NarrowText;
        case 3:
            return Kind::Integer;
        default:
            return Kind::WideText;
    }
}

constexpr const char* kNarrowTexts[] = {
    "RQ5600 Zoom Digital Camera",
    "Version 1.02",
    "",
    "E",
    "K\xC3\xA4se \xE2\x98\x83 \xF0\x9D\x84\x9E",  // two-, three- and four-byte characters
    "\xE4\xFF\xC3",                               // no UTF-8 at all, and a cut-short character
    "%1 %2!d! %%",                                // an insert's text is never expanded
    ("A text longer than most widths and precisions that a format asks for: 0123456789 0123456789 "
     "0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789"),
};
constexpr const WCHAR* kWideTexts[] = {
    u"wide text", u"", u"\xD800 lone high surrogate", u"\U0001D11E surrogate pair", u"\xDC00", u"K\u00E4se",
};
constexpr int kIntegers[] = {1890, 0, -1, INT_MIN, INT_MAX, 65, 0x20AC, 0xD800};

template <typename T, std::size_t N>
constexpr std::size_t CountOf(const T (&)[N]) {
    return N;
}

template <int Number>
auto Insert() {
    constexpr std::size_t pick = Number / 4;
    if constexpr (KindOf(Number) == Kind::NarrowText) {
        return kNarrowTexts[pick % CountOf(kNarrowTexts)];
    } else if constexpr (KindOf(Number) == Kind::Integer) {
        return kIntegers[pick % CountOf(kIntegers)];
    } else {
        return kWideTexts[pick % CountOf(kWideTexts)];
    }
}

// Calls `call` with the inserts %1 to %99 as its arguments.
template <typename Call, std::size_t... Index>
auto WithInserts(Call&& call, std::index_sequence<Index...>) {
    return call(Insert<static_cast<int>(Index) + 1>()...);
}

template <typename Call>
auto WithInserts(Call&& call) {
    return WithInserts(std::forward<Call>(call), std::make_index_sequence<kInserts>());
}

// The insert types a format asks for, read by the insert rules alone: '%' and the
// character after it go together, %0 ends the message, an insert is %N or %NN, and a
// printf form between exclamation marks right after it names the type.
struct FormatUse {
    Kind kinds[kInserts + 1] = {};
    int highest = 0;
    bool conflict = false;      // a number used as two types
    std::size_t leastSize = 0;  // every insert takes at least its width

    void Record(int number, Kind kind, std::size_t width) {
        if (kinds[number] != Kind::Unused && kinds[number] != kind) {
            conflict = true;
        }
        kinds[number] = kind;
        highest = number > highest ? number : highest;
        leastSize += width;
    }

    // Every insert read as the type given for it; a number the format skips is read as
    // a pointer, which a narrow text is.
    bool MatchesInserts() const {
        if (conflict) {
            return false;
        }
        for (int number = 1; number <= highest; ++number) {
            const Kind given = KindOf(number);
            if (kinds[number] != given && !(kinds[number] == Kind::Unused && given == Kind::NarrowText)) {
                return false;
            }
        }
        return true;
    }
};

// The type a printf form reads, and its width; `p` is past the first exclamation mark
// and ends past the second.  A malformed form, which fails the whole message, counts as
// narrow text.
Kind FormKind(const char*& p, std::size_t& width) {
    p += std::strspn(p, "-+ #0");
    for (; *p >= '0' && *p <= '9'; ++p) {
        width = std::min<std::size_t>(width * 10 + static_cast<std::size_t>(*p - '0'), 1000000);
    }
    if (*p == '.') {
        ++p;
        p += std::strspn(p, "0123456789");
    }
    char size = 0;
    if (*p == 'h' || *p == 'l' || *p == 'w') {
        size = *p++;
    }
    const char conversion = *p;
    if (conversion != 0) {
        ++p;
    }
    Kind kind = Kind::NarrowText;
    if (conversion == 's' || conversion == 'S') {
        const bool wide = size == 0 ? conversion == 'S' : size != 'h';
        kind = wide ? Kind::WideText : Kind::NarrowText;
    } else if (conversion != 0 && std::strchr("cCdiuxXo", conversion) != nullptr) {
        kind = Kind::Integer;
    }
    if (*p == '!') {
        ++p;
    }
    return kind;
}

FormatUse ScanFormat(const char* p) {
    FormatUse use;
    while (*p != 0) {
        if (*p++ != '%') {
            continue;
        }
        const char escape = *p;
        if (escape == 0 || escape == '0') {
            break;
        }
        ++p;
        if (escape < '1' || escape > '9') {
            continue;
        }
        int number = escape - '0';
        if (*p >= '0' && *p <= '9') {
            number = number * 10 + (*p++ - '0');
        }
        Kind kind = Kind::NarrowText;
        std::size_t width = 0;
        if (*p == '!') {
            ++p;
            kind = FormKind(p, width);
        }
        use.Record(number, kind, width);
    }
    return use;
}

// Text without '%': every CR LF, lone CR and lone LF becomes CR LF.
std::string WithCrLf(const char* text) {
    std::string out;
    for (const char* p = text; *p != 0; ++p) {
        if (*p == '\r' || *p == '\n') {
            if (*p == '\r' && p[1] == '\n') {
                ++p;
            }
            out += "\r\n";
        } else {
            out += *p;
        }
    }
    return out;
}

// FormatMessageA's allocated output, released with LocalFree.
class LocalText {
public:
    LocalText() noexcept = default;
    ~LocalText() { LocalFree(text_); }
    LocalText(const LocalText&) = delete;
    LocalText& operator=(const LocalText&) = delete;

    LPSTR Receive() noexcept { return reinterpret_cast<LPSTR>(&text_); }
    const char* Get() const noexcept { return text_; }

private:
    char* text_ = nullptr;
};

constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING;
constexpr DWORD kAllocate = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;

DWORD FormatWith(DWORD flags, const char* format, LPSTR buffer, DWORD size, ...) {
    va_list arguments;
    va_start(arguments, size);
    const DWORD count = FormatMessageA(flags, format, 0, 0, buffer, size, &arguments);
    va_end(arguments);
    return count;
}

void CheckOutput(DWORD count, const char* output) {
    if (count == 0) {
        FUZZ_CHECK(output == nullptr);
        return;
    }
    FUZZ_CHECK(output != nullptr);
    FUZZ_CHECK(output[count] == 0);
    FUZZ_CHECK(std::strlen(output) <= count);  // an insert %N!c! of 0 puts a zero byte inside
}

void CheckFormatted(const char* format, const FormatUse& use) {
    LocalText allocated;
    const DWORD count = WithInserts([&](auto... inserts) {
        return FormatWith(kAllocate, format, allocated.Receive(), 0, inserts...);
    });
    CheckOutput(count, allocated.Get());
    if (use.conflict) {
        FUZZ_CHECK(count == 0);
    }
    if (count != 0) {
        FUZZ_CHECK(count >= use.leastSize);
    }
    if (std::strchr(format, '%') == nullptr) {
        const std::string expected = WithCrLf(format);
        FUZZ_CHECK(count == expected.size());
        FUZZ_CHECK(count == 0 || std::memcmp(allocated.Get(), expected.data(), count) == 0);
    }
    if (count == 0) {
        return;
    }

    // Into the caller's buffer: exactly enough room, and one byte short.
    const std::unique_ptr<char[]> buffer(new char[count + 1]);
    const DWORD fitted = WithInserts([&](auto... inserts) {
        return FormatWith(kFromString, format, buffer.get(), count + 1, inserts...);
    });
    FUZZ_CHECK(fitted == count);
    FUZZ_CHECK(std::memcmp(buffer.get(), allocated.Get(), count + 1) == 0);
    const std::unique_ptr<char[]> cramped(new char[count]);
    const DWORD refused = WithInserts([&](auto... inserts) {
        return FormatWith(kFromString, format, cramped.get(), count, inserts...);
    });
    FUZZ_CHECK(refused == 0);
    FUZZ_CHECK(GetLastError() == ERROR_INSUFFICIENT_BUFFER);

    // TextString keeps the text up to its first zero byte, and the count.
    TextString text;
    const int formatted = WithInserts([&](auto... inserts) { return text.Format(format, inserts...); });
    FUZZ_CHECK(formatted == static_cast<int>(count));
    FUZZ_CHECK(std::strcmp(text.Text(), allocated.Get()) == 0);
    FUZZ_CHECK(text.Length() == std::strlen(text.Text()));

    TextString self(format);
    const int again = WithInserts([&](auto... inserts) { return self.Format(self.Text(), inserts...); });
    FUZZ_CHECK(again == formatted);
    FUZZ_CHECK(std::strcmp(self.Text(), text.Text()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool utf8 = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
    FUZZ_CHECK(utf8);

    const std::unique_ptr<char[]> format(new char[size + 1]);
    std::memcpy(format.get(), data, size);
    format[size] = 0;

    const FormatUse use = ScanFormat(format.get());
    {
        LocalText output;
        const DWORD count = FormatMessageA(kAllocate, format.get(), 0, 0, output.Receive(), 0, nullptr);
        CheckOutput(count, output.Get());
        if (use.highest > 0) {
            FUZZ_CHECK(count == 0);  // inserts and no argument list
        }
    }
    if (use.conflict || use.MatchesInserts()) {
        CheckFormatted(format.get(), use);
    }
    return 0;
}
