// wvsprintfA: the Windows formatter with its own small conversion set, not printf's.
//
// Conversions: c C d i p s S u x X and %%; flags '-', '#', '0', only in that order; width
// and precision as digits (no '*'); size prefixes l and w (wide c/s), h (narrow c/s).
// Integers are 32-bit whatever the prefix, as LONG and DWORD are.  The output, at most
// 1023 characters and the terminator, follows what the Windows implementation prints,
// quirks included: the sign counts towards the precision ("%.3d" of -7 is "-07"), the
// '0' flag pads to the width with zeros after a "0x" prefix that the width leaves out, a
// precision of 0 is no precision, a null string prints as "(null)", an unknown
// conversion character is printed as text after the width's padding, and near the limit
// the padding shrinks before the value is cut.
#include "platform/Platform.h"
#include "platform/posix/FormNumber.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int kMaxOutput = 1023;  // characters, the terminator not counted

class Output {
public:
    explicit Output(char* buffer) : buffer_(buffer) {}

    bool Full() const { return count_ >= kMaxOutput; }
    int Remaining() const { return kMaxOutput - count_; }
    void Put(char c) {
        if (!Full()) {
            buffer_[count_++] = c;
        }
    }
    void Repeat(char c, int times) {
        for (int i = 0; i < times; ++i) {
            Put(c);
        }
    }
    void Write(const char* text, int length) {
        for (int i = 0; i < length; ++i) {
            Put(text[i]);
        }
    }
    // Terminates the text; a text that reached the limit reports 1024, as the system does.
    int Finish() {
        buffer_[count_] = '\0';
        return Full() ? kMaxOutput + 1 : count_;
    }

private:
    char* buffer_;
    int count_ = 0;
};

enum class Size { Default, Long, Short, Wide };

struct Conversion {
    bool left = false;
    bool hexPrefix = false;
    bool zeroPad = false;
    int width = 0;
    int precision = 0;
    Size size = Size::Default;
    char type = '\0';
};

// Parses the conversion after its '%'; `p` is left on the conversion character.
Conversion Parse(const char*& p) {
    Conversion c;
    if (*p == '-') {
        c.left = true;
        ++p;
    }
    if (*p == '#') {
        c.hexPrefix = true;
        ++p;
    }
    if (*p == '0') {
        c.zeroPad = true;
        ++p;
    }
    c.width = platform::posix::ReadFormNumber(p);
    if (*p == '.') {
        ++p;
        c.precision = platform::posix::ReadFormNumber(p);
    }
    if (*p == 'l') {
        c.size = Size::Long;
        ++p;
    } else if (*p == 'h') {
        c.size = Size::Short;
        ++p;
    } else if (*p == 'w') {
        c.size = Size::Wide;
        ++p;
    }
    c.type = *p;
    return c;
}

bool IsWide(const Conversion& c) {
    if (c.type == 'c' || c.type == 's') {
        return c.size == Size::Long || c.size == Size::Wide;
    }
    return c.size != Size::Short;  // 'C' and 'S' are wide unless marked narrow
}

// Writes one wide character, or a surrogate pair, in the ANSI code page; what does not
// convert becomes '?'.  Returns the number of UTF-16 units consumed.
int PutWide(Output& out, const WCHAR* text) {
    const bool pair = text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF;
    const int units = pair ? 2 : 1;
    char bytes[8];
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text, units, bytes, sizeof bytes, nullptr, nullptr);
    if (length > 0) {
        out.Write(bytes, length);
    } else {
        out.Put('?');
    }
    return units;
}

void PutString(Output& out, const Conversion& c, va_list& arguments) {
    static const char kNull[] = "(null)";
    const bool wide = IsWide(c);
    const void* pointer = va_arg(arguments, const void*);
    const WCHAR* wideText = wide ? static_cast<const WCHAR*>(pointer) : nullptr;
    const char* narrowText = wide ? nullptr : static_cast<const char*>(pointer);
    if (pointer == nullptr) {
        wideText = nullptr;
        narrowText = kNull;
    }

    int length = wideText != nullptr ? lstrlenW(wideText) : lstrlenA(narrowText);
    if (c.precision > 0 && length > c.precision) {
        length = c.precision;
    }
    if (!c.left) {
        out.Repeat(' ', c.width - length);
    }
    if (wideText != nullptr) {
        for (int i = 0; i < length;) {
            i += PutWide(out, wideText + i);
        }
    } else {
        out.Write(narrowText, length);
    }
    if (c.left) {
        out.Repeat(' ', c.width - length);
    }
}

void PutChar(Output& out, const Conversion& c, va_list& arguments) {
    const int value = va_arg(arguments, int);
    if (!c.left) {
        out.Repeat(' ', c.width - 1);
    }
    if (IsWide(c)) {
        const WCHAR unit[2] = {static_cast<WCHAR>(value), 0};
        PutWide(out, unit);
    } else {
        out.Put(static_cast<char>(value));
    }
    if (c.left) {
        out.Repeat(' ', c.width - 1);
    }
}

void PutNumber(Output& out, Conversion c, va_list& arguments) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    unsigned base = 10;
    bool upper = false;
    switch (c.type) {
    case 'd':
    case 'i': {
        const int value = va_arg(arguments, int);
        negative = value < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(value))
                             : static_cast<std::uint64_t>(value);
        break;
    }
    case 'u':
        magnitude = va_arg(arguments, unsigned int);
        break;
    case 'p':
        magnitude = reinterpret_cast<std::uintptr_t>(va_arg(arguments, void*));
        c.width = static_cast<int>(2 * sizeof(void*));
        c.zeroPad = true;
        c.hexPrefix = false;
        base = 16;
        upper = true;
        break;
    default:  // 'x', 'X'
        magnitude = va_arg(arguments, unsigned int);
        base = 16;
        upper = c.type == 'X';
        break;
    }

    char digits[24];
    int count = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[count++] = alphabet[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);

    // The sign is one of the characters that the precision counts.
    const int length = count + (negative ? 1 : 0);
    int precision = c.precision < length ? length : c.precision;
    if (c.zeroPad && !c.left && c.width > precision) {
        precision = c.width;
    }
    if (!c.left) {
        out.Repeat(' ', c.width - precision);
    }
    if (c.hexPrefix && base == 16) {
        out.Put('0');
        out.Put(upper ? 'X' : 'x');
    }
    if (negative) {
        out.Put('-');
    }
    out.Repeat('0', precision - length);
    while (count > 0) {
        out.Put(digits[--count]);
    }
    if (c.left) {
        out.Repeat(' ', c.width - precision);
    }
}

}  // namespace

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments) {
    Output out(buffer);
    // A copy, so that the conversions can take arguments through a reference.
    va_list rest;
    va_copy(rest, arguments);
    const char* p = format;
    while (*p != '\0' && !out.Full()) {
        if (*p != '%') {
            out.Put(*p++);
            continue;
        }
        ++p;
        if (*p == '%') {
            out.Put(*p++);
            continue;
        }
        Conversion c = Parse(p);
        // Padding gives way near the limit, so that the value itself still fits.
        c.width = c.width < out.Remaining() ? c.width : out.Remaining();
        c.precision = c.precision < out.Remaining() ? c.precision : out.Remaining();
        switch (c.type) {
        case 'c':
        case 'C':
            PutChar(out, c, rest);
            break;
        case 's':
        case 'S':
            PutString(out, c, rest);
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'p':
            PutNumber(out, c, rest);
            break;
        default:
            // Not a conversion: the padding, then the character goes out as text.
            if (!c.left) {
                out.Repeat(' ', c.width);
            }
            continue;
        }
        ++p;
    }
    va_end(rest);
    return out.Finish();
}
