// Code-page conversion between narrow text and UTF-16, with the Win32 rules, over iconv.
//
// The ANSI code page is the character set of the locale's LC_CTYPE (after setlocale);
// the "C"/"POSIX" locale counts as Latin-1, so every byte is one character there, as
// NarrowCharLength sees it too.  CP_UTF8 is always UTF-8; CP_POSIX_FILE_NAMES is UTF-8 whose
// stray bytes stand for themselves.
#include "platform/Platform.h"
#include "platform/posix/LastError.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <initializer_list>
#include <langinfo.h>
#include <mutex>
#include <strings.h>

using platform::posix::Fail;

namespace {

// The C library's wide characters, UCS-4 in the host's byte order.  Converting between
// them and a character set is a single step; to or from UTF-16LE iconv would go through
// them anyway, with a 32 KiB buffer between the two steps in every converter, so this
// layer turns UCS-4 into UTF-16 and back itself.
constexpr const char* kWide = "WCHAR_T";
constexpr UINT kLatin1CodePage = 28591;

struct Charset {
    const char* name;  // for iconv
    UINT codePage;     // the Windows number of the same character set, 0 if it has none
};

// The locale's character set.  Names are those glibc and the BSDs report.
Charset LocaleCharset() {
    static constexpr struct {
        const char* codeset;
        UINT codePage;
    } kKnown[] = {
        {"UTF-8", CP_UTF8},          {"ISO-8859-1", kLatin1CodePage}, {"ISO-8859-15", 28605},
        {"SHIFT_JIS", 932},          {"EUC-JP", 20932},               {"GBK", 936},
        {"GB18030", 54936},          {"BIG5", 950},                   {"EUC-KR", 51949},
        {"KOI8-R", 20866},           {"CP1251", 1251},                {"CP1252", 1252},
    };
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || codeset[0] == 0 || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "US-ASCII") == 0 || std::strcmp(codeset, "ASCII") == 0) {
        return {"ISO-8859-1", kLatin1CodePage};
    }
    for (const auto& known : kKnown) {
        if (strcasecmp(codeset, known.codeset) == 0) {
            return {codeset, known.codePage};
        }
    }
    return {codeset, 0};
}

// How a code page is converted: its character set for iconv (null for one this layer
// lacks), whether it is UTF-8 as Windows has it, and whether bytes that are no character of
// it stand for themselves as lone surrogates (file names).
struct CodePageForm {
    const char* charset = nullptr;
    bool isUtf8 = false;
    bool keepsBytes = false;
};

CodePageForm FormOf(UINT codePage) {
    if (codePage == CP_UTF8) {
        return {"UTF-8", true, false};
    }
    if (codePage == CP_POSIX_FILE_NAMES) {
        return {"UTF-8", false, true};
    }
    const Charset locale = LocaleCharset();
    if (codePage != CP_ACP && codePage != locale.codePage) {
        return {};
    }
    return {locale.name, locale.codePage == CP_UTF8, false};
}

// Converters are opened once and kept for the life of the process: opening one allocates
// and looks up the conversion (the first time, it loads the conversion's module), and a
// run converts dozens of texts, all in the ANSI code page.  One is kept per direction, for
// the character set last asked for; another character set (CP_UTF8 in a locale of
// another, or a changed locale) replaces it.  The last ones are never closed, so what
// they hold stays reachable until the process ends.  One lock covers the slots and each
// conversion, since a converter carries shift state between calls.
enum class Direction { kToUtf16, kFromUtf16 };

// Longer than any character set name glibc or the BSDs report; a longer one is not opened.
constexpr std::size_t kCharsetNameCapacity = 48;

struct KeptConverter {
    char charset[kCharsetNameCapacity];  // the narrow side; empty while none is open
    iconv_t cd;
};

std::mutex keptConvertersLock;
KeptConverter keptConverters[2];  // by direction; zero-initialized: none open

iconv_t OpenKept(KeptConverter& slot, Direction direction, const char* charset) {
    if (slot.charset[0] != 0 && std::strcmp(slot.charset, charset) == 0) {
        return slot.cd;
    }
    if (slot.charset[0] != 0) {
        iconv_close(slot.cd);
        slot.charset[0] = 0;
    }
    const std::size_t length = std::strlen(charset);
    if (length == 0 || length >= kCharsetNameCapacity) {
        return reinterpret_cast<iconv_t>(-1);
    }
    const iconv_t cd = direction == Direction::kToUtf16 ? iconv_open(kWide, charset) : iconv_open(charset, kWide);
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        std::memcpy(slot.charset, charset, length + 1);
        slot.cd = cd;
    }
    return cd;
}

// The kept converter between UCS-4 and `charset`, lent for one conversion: the lock is
// held until it is destroyed, and it starts in the initial shift state.
class Converter {
public:
    Converter(Direction direction, const char* charset) : lock_(keptConvertersLock) {
        cd_ = OpenKept(keptConverters[direction == Direction::kToUtf16 ? 0 : 1], direction, charset);
        if (IsOpen()) {
            ResetState();
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // iconv's count of irreversible conversions, or -1 with errno set.
    std::size_t Convert(char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
        return iconv(cd_, in, inLeft, out, outLeft);
    }
    void ResetState() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    std::lock_guard<std::mutex> lock_;
    iconv_t cd_;
};

// Collects output units, counting them all, storing them while the caller's buffer has
// room; with no buffer (capacity 0) it only counts.
template <typename Unit>
class Output {
public:
    Output(Unit* dest, int capacity) : dest_(dest), capacity_(capacity) {}

    void Put(Unit unit) {
        if (capacity_ != 0 && count_ < capacity_) {
            dest_[count_] = unit;
        }
        ++count_;
    }
    bool Overflowed() const { return capacity_ != 0 && count_ > capacity_; }
    int Count() const { return count_; }

private:
    Unit* dest_;
    int capacity_;
    int count_ = 0;
};

// One character as UTF-16: a surrogate pair beyond the Basic Multilingual Plane.
void PutUtf16(Output<WCHAR>& output, std::uint32_t character) {
    if (character < 0x10000) {
        output.Put(static_cast<WCHAR>(character));
        return;
    }
    character -= 0x10000;
    output.Put(static_cast<WCHAR>(0xD800 + (character >> 10)));
    output.Put(static_cast<WCHAR>(0xDC00 + (character & 0x3FF)));
}

// The start both conversions share: the form of `codePage`, with no character set when the
// arguments or the code page are not valid.
CodePageForm ConversionForm(UINT codePage, const void* source, int sourceLength, const void* dest, int destLength) {
    const bool valid = source != nullptr && sourceLength != 0 && sourceLength >= -1 && destLength >= 0 &&
                       (destLength == 0 || dest != nullptr);
    return valid ? FormOf(codePage) : CodePageForm{};
}

// The lone surrogates that stand for the bytes of a file name that are no UTF-8.
constexpr WCHAR kFirstKeptByte = 0xDC80;
constexpr WCHAR kLastKeptByte = 0xDCFF;

constexpr WCHAR kReplacementCharacter = 0xFFFD;

constexpr std::uint32_t kLastCharacter = 0x10FFFF;

bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsSurrogate(std::uint32_t character) { return character >= 0xD800 && character <= 0xDFFF; }

}  // namespace

// A character set without a Windows number answers 0, which is CP_ACP itself.
UINT GetACP() { return LocaleCharset().codePage; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                        int destLength) {
    const CodePageForm form = ConversionForm(codePage, source, sourceLength, dest, destLength);
    if (form.charset == nullptr) {
        return Fail<int>(ERROR_INVALID_PARAMETER);
    }
    Converter converter(Direction::kToUtf16, form.charset);
    if (!converter.IsOpen()) {
        return Fail<int>(ERROR_INVALID_PARAMETER);
    }

    char* in = const_cast<char*>(source);  // iconv's prototype; it does not write the input
    std::size_t inLeft = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    Output<WCHAR> output(dest, destLength);
    // One character at a time: the decoder also yields surrogates and values beyond
    // U+10FFFF, which UTF-16 cannot hold, so the sequence behind each must be known.
    while (inLeft != 0) {
        char* const start = in;
        const std::size_t startLeft = inLeft;
        char ucs4[sizeof(std::uint32_t)];
        char* out = ucs4;
        std::size_t outLeft = sizeof ucs4;
        const std::size_t result = converter.Convert(&in, &inLeft, &out, &outLeft);
        const int error = errno;
        if (out != ucs4) {
            std::uint32_t character = 0;
            std::memcpy(&character, ucs4, sizeof character);
            if (character <= kLastCharacter && !IsSurrogate(character)) {
                PutUtf16(output, character);
                continue;
            }
            in = start;
            inLeft = startLeft;
        } else if (result != static_cast<std::size_t>(-1)) {
            continue;
        } else if (error != EILSEQ && error != EINVAL) {
            return Fail<int>(ERROR_INVALID_PARAMETER);
        }
        // An invalid or cut-short sequence: its first byte becomes U+FFFD, or in a file name
        // stands for itself.
        if (form.keepsBytes) {
            output.Put(static_cast<WCHAR>(0xDC00 + static_cast<unsigned char>(*in)));
        } else if ((flags & MB_ERR_INVALID_CHARS) != 0) {
            return Fail<int>(ERROR_NO_UNICODE_TRANSLATION);
        } else {
            output.Put(kReplacementCharacter);
        }
        ++in;
        --inLeft;
        converter.ResetState();
    }
    if (output.Overflowed()) {
        return Fail<int>(ERROR_INSUFFICIENT_BUFFER);
    }
    return output.Count();
}

// iconv never maps a character to a look-alike, so WC_NO_BEST_FIT_CHARS is what it does anyway.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest,
                        int destLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    const CodePageForm form = ConversionForm(codePage, source, sourceLength, dest, destLength);
    if (form.charset == nullptr) {
        return Fail<int>(ERROR_INVALID_PARAMETER);
    }
    const bool isUtf8 = form.isUtf8;
    // UTF-8 represents every character: Windows refuses a default character for it.
    if (isUtf8 && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        return Fail<int>(ERROR_INVALID_PARAMETER);
    }
    Converter converter(Direction::kFromUtf16, form.charset);
    if (!converter.IsOpen()) {
        return Fail<int>(ERROR_INVALID_PARAMETER);
    }

    const int units = sourceLength == -1 ? lstrlenW(source) + 1 : sourceLength;
    Output<char> output(dest, destLength);
    bool usedDefault = false;
    // One character at a time, so that one that the character set lacks, or a lone
    // surrogate, is replaced on its own.
    for (int i = 0; i < units;) {
        const bool pair = IsHighSurrogate(source[i]) && i + 1 < units && IsLowSurrogate(source[i + 1]);
        const std::uint32_t character =
            pair ? 0x10000 + ((static_cast<std::uint32_t>(source[i]) - 0xD800) << 10) +
                       (static_cast<std::uint32_t>(source[i + 1]) - 0xDC00)
                 : static_cast<std::uint32_t>(source[i]);
        i += pair ? 2 : 1;
        if (form.keepsBytes && character >= kFirstKeptByte && character <= kLastKeptByte) {
            output.Put(static_cast<char>(character - 0xDC00));
            continue;
        }

        char ucs4[sizeof character];
        std::memcpy(ucs4, &character, sizeof character);
        char* in = ucs4;
        std::size_t inLeft = sizeof ucs4;
        char converted[16];
        char* out = converted;
        std::size_t outLeft = sizeof converted;
        // A lone surrogate is no character, though some encoders would take one.
        if (IsSurrogate(character) || converter.Convert(&in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            converter.ResetState();
            if ((isUtf8 || form.keepsBytes) && (flags & WC_ERR_INVALID_CHARS) != 0) {
                return Fail<int>(ERROR_NO_UNICODE_TRANSLATION);
            }
            if (isUtf8) {
                for (const char byte : {'\xEF', '\xBF', '\xBD'}) {  // U+FFFD
                    output.Put(byte);
                }
            } else {
                output.Put(defaultChar != nullptr ? defaultChar[0] : '?');
                usedDefault = true;
            }
            continue;
        }
        for (const char* byte = converted; byte < out; ++byte) {
            output.Put(*byte);
        }
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (output.Overflowed()) {
        return Fail<int>(ERROR_INSUFFICIENT_BUFFER);
    }
    return output.Count();
}
