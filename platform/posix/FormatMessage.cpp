// FormatMessageA for a message given as a string, with the Windows insert rules:
//
//   %1 .. %99     insert number n: a narrow string, or the printf form between the
//                 exclamation marks that follow (%3!d!, %1!-5s!, %2!x!, %1!ls!)
//   %0            ends the message
//   %n %r %t      CR LF, CR, tab
//   %c            any other character c stands for itself (%%, %., %!, "% ")
//   CR LF, CR, LF in the text each become CR LF
//
// The insert arguments are taken from the va_list in insert-number order, whatever the
// order of the inserts in the text, as Windows does.  Unlike Windows, which reads every
// argument as a pointer-sized slot, this reads each with the type its form names, so the
// forms are looked at before the first argument is read.  Width and precision count
// bytes, as printf does (and as Wine's FormatMessageA does with multibyte text).  Width
// and precision given as '*', the 64-bit forms and the line-width limit are not provided.
#include "platform/Platform.h"
#include "platform/posix/FormNumber.h"
#include "platform/posix/LastError.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace {

constexpr int kMaxInsert = 99;

enum class ArgKind { Unused, NarrowText, WideText, Integer };

struct InsertForm {
    int number = 0;
    ArgKind kind = ArgKind::NarrowText;
    std::string flags;  // of the printf form: flags, width, precision
    int width = 0;
    int precision = -1;
    bool leftAligned = false;
    char conversion = 's';  // s c d i u x X o; a wide string or character is 's' or 'c' with kind WideText
    bool wideChar = false;
};

union Arg {
    const char* narrow;
    const WCHAR* wide;
    int integer;
};

// Parses the printf form between the exclamation marks of an insert; p is past the first
// mark and ends past the second (or at the end of the text).  False if malformed.
bool ParseForm(const char*& p, InsertForm& insert) {
    while (*p != 0 && std::strchr("-+ #0", *p) != nullptr) {
        insert.leftAligned = insert.leftAligned || *p == '-';
        insert.flags += *p++;
    }
    insert.width = platform::posix::ReadFormNumber(p);
    if (*p == '.') {
        ++p;
        insert.precision = platform::posix::ReadFormNumber(p);
    }
    char size = 0;
    if (*p == 'h' || *p == 'l' || *p == 'w') {
        size = *p++;
    }
    const char conversion = *p++;
    switch (conversion) {
        case 's':
        case 'S':
        case 'c':
        case 'C': {
            // Without a size prefix the lower-case form is narrow and the capital one wide.
            const bool wide = size == 0 ? conversion == 'S' || conversion == 'C' : size != 'h';
            insert.kind = wide ? ArgKind::WideText : ArgKind::NarrowText;
            insert.conversion = (conversion == 'c' || conversion == 'C') ? 'c' : 's';
            if (insert.conversion == 'c') {
                insert.wideChar = wide;
                insert.kind = ArgKind::Integer;
            }
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (size == 'w') {
                return false;
            }
            insert.kind = ArgKind::Integer;
            insert.conversion = conversion;
            break;
        default:
            return false;
    }
    if (*p == '!') {
        ++p;
        return true;
    }
    return *p == 0;
}

// Walks the message, handing literal text and inserts to `visit`.  False if malformed.
template <typename Visitor>
bool Walk(const char* p, Visitor& visit) {
    while (*p != 0) {
        const char c = *p++;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && *p == '\n') {
                ++p;
            }
            visit.OnText("\r\n");
            continue;
        }
        if (c != '%') {
            visit.OnText(std::string_view(p - 1, 1));
            continue;
        }
        const char escape = *p++;
        if (escape == 0) {
            return false;  // a lone '%' at the end
        }
        if (escape == '0') {
            return true;
        }
        if (escape == 'n') {
            visit.OnText("\r\n");
        } else if (escape == 'r') {
            visit.OnText("\r");
        } else if (escape == 't') {
            visit.OnText("\t");
        } else if (escape < '1' || escape > '9') {
            visit.OnText(std::string_view(p - 1, 1));
        }
        if (escape < '1' || escape > '9') {
            continue;
        }
        InsertForm insert;
        insert.number = escape - '0';
        if (*p >= '0' && *p <= '9') {
            insert.number = insert.number * 10 + (*p++ - '0');
        }
        if (*p == '!') {
            ++p;
            if (!ParseForm(p, insert)) {
                return false;
            }
        }
        if (!visit.OnInsert(insert)) {
            return false;
        }
    }
    return true;
}

// First pass: the type of each insert argument.
struct ArgumentKinds {
    ArgKind kinds[kMaxInsert + 1] = {};
    int highest = 0;

    void OnText(std::string_view) {}
    bool OnInsert(const InsertForm& insert) {
        ArgKind& kind = kinds[insert.number];
        if (kind != ArgKind::Unused && kind != insert.kind) {
            return false;  // one argument cannot be read as two types
        }
        kind = insert.kind;
        highest = std::max(highest, insert.number);
        return true;
    }
};

std::string Narrow(const WCHAR* text, int length) {
    if (length == 0) {
        return {};
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, text, length, &narrow[0], bytes, nullptr, nullptr);
    }
    return narrow;
}

std::string FormatInteger(const InsertForm& insert, int value) {
    std::string form = "%" + insert.flags;
    if (insert.width > 0) {
        form += std::to_string(insert.width);
    }
    if (insert.precision >= 0) {
        form += "." + std::to_string(insert.precision);
    }
    form += insert.conversion;
    const bool isSigned = insert.conversion == 'd' || insert.conversion == 'i';
    // Measured first: width and precision may ask for any number of characters.
    const auto print = [&](char* digits, std::size_t size) {
        // The form is built above from parsed parts only: flags, two numbers, one conversion.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        return isSigned ? std::snprintf(digits, size, form.c_str(), value)
                        : std::snprintf(digits, size, form.c_str(), static_cast<unsigned>(value));
#pragma GCC diagnostic pop
    };
    const int length = print(nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::string digits(static_cast<std::size_t>(length) + 1, '\0');
    print(&digits[0], digits.size());
    digits.pop_back();
    return digits;
}

// Second pass: the formatted message.
struct Formatter {
    const Arg* args;
    std::string output;

    void OnText(std::string_view text) { output += text; }
    bool OnInsert(const InsertForm& insert) {
        const Arg& arg = args[insert.number];
        if (insert.kind == ArgKind::Integer && insert.conversion != 'c') {
            output += FormatInteger(insert, arg.integer);
            return true;
        }
        std::string text;
        if (insert.conversion == 'c') {
            const WCHAR unit = static_cast<WCHAR>(arg.integer);
            text = insert.wideChar ? Narrow(&unit, 1) : std::string(1, static_cast<char>(arg.integer));
        } else if (insert.kind == ArgKind::WideText) {
            text = arg.wide != nullptr ? Narrow(arg.wide, lstrlenW(arg.wide)) : "(null)";
        } else {
            text = arg.narrow != nullptr ? arg.narrow : "(null)";
        }
        if (insert.precision >= 0 && text.size() > static_cast<std::size_t>(insert.precision)) {
            text.resize(static_cast<std::size_t>(insert.precision));
        }
        const std::size_t width = static_cast<std::size_t>(insert.width);
        const std::string padding(width > text.size() ? width - text.size() : 0, ' ');
        output += insert.leftAligned ? text + padding : padding + text;
        return true;
    }
};

DWORD Format(DWORD flags, const char* message, LPSTR buffer, DWORD size, va_list* arguments) {
    ArgumentKinds kinds;
    if (!Walk(message, kinds) || (kinds.highest > 0 && arguments == nullptr)) {
        return platform::posix::Fail<DWORD>(ERROR_INVALID_PARAMETER);
    }
    Arg args[kMaxInsert + 1] = {};
    for (int n = 1; n <= kinds.highest; ++n) {
        switch (kinds.kinds[n]) {
            case ArgKind::NarrowText:
                args[n].narrow = va_arg(*arguments, const char*);
                break;
            case ArgKind::WideText:
                args[n].wide = va_arg(*arguments, const WCHAR*);
                break;
            case ArgKind::Integer:
                args[n].integer = va_arg(*arguments, int);
                break;
            case ArgKind::Unused:
                static_cast<void>(va_arg(*arguments, void*));  // a number the message skips still takes its slot
                break;
        }
    }

    Formatter formatter{args, {}};
    Walk(message, formatter);
    const std::string& output = formatter.output;
    if (output.empty()) {
        return platform::posix::Fail<DWORD>(ERROR_NO_WORK_DONE);
    }
    const std::size_t needed = output.size() + 1;
    char* target = buffer;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        target = static_cast<char*>(LocalAlloc(LMEM_FIXED, std::max<std::size_t>(size, needed)));
        if (target == nullptr) {
            return platform::posix::Fail<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
        }
        std::memcpy(buffer, &target, sizeof target);  // the buffer argument is where the pointer goes
    } else if (size < needed) {
        return platform::posix::Fail<DWORD>(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(target, output.c_str(), needed);
    return static_cast<DWORD>(output.size());
}

}  // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD /*messageId*/, DWORD /*languageId*/, LPSTR buffer,
                     DWORD size, va_list* arguments) {
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (allocate) {
        if (buffer == nullptr) {
            return platform::posix::Fail<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
        }
        char* const none = nullptr;
        std::memcpy(buffer, &none, sizeof none);
    }
    // Only messages given as strings, with inserts, without a line-width limit.
    const DWORD supported = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    if ((flags & FORMAT_MESSAGE_FROM_STRING) == 0 || (flags & ~supported) != 0 || source == nullptr ||
        (!allocate && buffer == nullptr)) {
        return platform::posix::Fail<DWORD>(ERROR_INVALID_PARAMETER);
    }
    try {
        return Format(flags, static_cast<const char*>(source), buffer, size, arguments);
    } catch (const std::bad_alloc&) {
        return platform::posix::Fail<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
}
