// Code-page conversions with arbitrary bytes and arbitrary UTF-16 (unpaired surrogates
// included): MultiByteToWideChar and WideCharToMultiByte of the POSIX layer, and the
// wide and narrow texts of WideStringHandle and TextString built on them.
//
// The input's first byte picks the locale (bit 0: "C", whose code page is Latin-1, or
// UTF-8) and where the wide text is split for an append (the other bits); the rest is
// read once as narrow bytes and once as little-endian UTF-16 units.  Every conversion
// is first asked for its size, then made into a buffer of exactly that size and into one
// a unit short.  Round trips are checked where they hold: Latin-1 bytes and well-formed
// UTF-8 come back unchanged, a UTF-8 conversion of UTF-16 is exact with U+FFFD for an
// unpaired surrogate, and a single-byte code page keeps every unit it has.
#include "tests/fuzz/FuzzCheck.h"

#include "com/WideStringHandle.h"
#include "text/TextString.h"
#include "platform/Utf8Sequence.h"

#include <clocale>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Units = std::u16string;

constexpr char16_t kReplacement = 0xFFFD;

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = platform::Utf8SequenceAt(bytes, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

void AppendUtf8(unsigned codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// UTF-16 as UTF-8, and the units that encoding stands for: an unpaired surrogate
// becomes U+FFFD.
void EncodeUtf8(const Units& units, std::string& utf8, Units& repaired) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (IsHigh(unit) && i + 1 < units.size() && IsLow(units[i + 1])) {
            AppendUtf8(0x10000 + ((unit - 0xD800u) << 10) + (units[i + 1] - 0xDC00u), utf8);
            repaired += unit;
            repaired += units[++i];
        } else if (IsHigh(unit) || IsLow(unit)) {
            AppendUtf8(kReplacement, utf8);
            repaired += kReplacement;
        } else {
            AppendUtf8(unit, utf8);
            repaired += unit;
        }
    }
}

// Both conversions: the size query, then into a block of exactly that size and into
// one a unit short, each a heap block of its own so that a write past it is caught.
Units ToWide(const char* bytes, int length, DWORD flags = 0) {
    const int units = MultiByteToWideChar(CP_ACP, flags, bytes, length, nullptr, 0);
    if (units == 0) {
        return {};
    }
    const auto size = static_cast<std::size_t>(units);
    if (units > 1) {
        const std::unique_ptr<char16_t[]> cramped(new char16_t[size - 1]);
        FUZZ_CHECK(MultiByteToWideChar(CP_ACP, flags, bytes, length, cramped.get(), units - 1) == 0);
        FUZZ_CHECK(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    }
    const std::unique_ptr<char16_t[]> wide(new char16_t[size]);
    FUZZ_CHECK(MultiByteToWideChar(CP_ACP, flags, bytes, length, wide.get(), units) == units);
    return Units(wide.get(), size);
}

std::string ToNarrow(const char16_t* units, int length, const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, units, length, nullptr, 0, defaultChar, usedDefault);
    if (bytes == 0) {
        return {};
    }
    const auto size = static_cast<std::size_t>(bytes);
    if (bytes > 1) {
        const std::unique_ptr<char[]> cramped(new char[size - 1]);
        FUZZ_CHECK(WideCharToMultiByte(CP_ACP, 0, units, length, cramped.get(), bytes - 1, defaultChar, usedDefault) ==
                   0);
        FUZZ_CHECK(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    }
    const std::unique_ptr<char[]> narrow(new char[size]);
    FUZZ_CHECK(WideCharToMultiByte(CP_ACP, 0, units, length, narrow.get(), bytes, defaultChar, usedDefault) == bytes);
    return std::string(narrow.get(), size);
}

void CheckNarrowToWide(const std::string& bytes, bool utf8) {
    const int length = static_cast<int>(bytes.size());
    if (length == 0) {
        FUZZ_CHECK(MultiByteToWideChar(CP_ACP, 0, bytes.data(), 0, nullptr, 0) == 0);
        FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER);
        return;
    }
    const Units wide = ToWide(bytes.data(), length);
    FUZZ_CHECK(!wide.empty() && wide.size() <= bytes.size());
    const Units strict = ToWide(bytes.data(), length, MB_ERR_INVALID_CHARS);
    if (!utf8) {
        FUZZ_CHECK(wide.size() == bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            FUZZ_CHECK(wide[i] == static_cast<unsigned char>(bytes[i]));
        }
    }
    if (!utf8 || IsUtf8(bytes)) {
        FUZZ_CHECK(strict == wide);
        FUZZ_CHECK(ToNarrow(wide.data(), static_cast<int>(wide.size())) == bytes);
    } else {
        FUZZ_CHECK(strict.empty());
        FUZZ_CHECK(GetLastError() == ERROR_NO_UNICODE_TRANSLATION);
        // What comes out is well-formed: it survives a second round trip.
        const std::string narrow = ToNarrow(wide.data(), static_cast<int>(wide.size()));
        FUZZ_CHECK(ToWide(narrow.data(), static_cast<int>(narrow.size())) == wide);
    }

    // Up to and including the terminator, measured by the converter.
    const std::string terminated = bytes.substr(0, std::strlen(bytes.c_str())) + '\0';
    FUZZ_CHECK(ToWide(bytes.c_str(), -1) == ToWide(terminated.data(), static_cast<int>(terminated.size())));
}

void CheckWideToNarrow(const Units& units, bool utf8) {
    const int length = static_cast<int>(units.size());
    if (length == 0) {
        return;
    }
    const std::string narrow = ToNarrow(units.data(), length);
    FUZZ_CHECK(!narrow.empty());
    if (utf8) {
        std::string expected;
        Units repaired;
        EncodeUtf8(units, expected, repaired);
        FUZZ_CHECK(narrow == expected);
        FUZZ_CHECK(ToWide(narrow.data(), static_cast<int>(narrow.size())) == repaired);
        BOOL used = FALSE;
        FUZZ_CHECK(WideCharToMultiByte(CP_ACP, 0, units.data(), length, nullptr, 0, nullptr, &used) == 0);
        FUZZ_CHECK(GetLastError() == ERROR_INVALID_PARAMETER);
        return;
    }
    // A single-byte code page keeps the units it has, in order, and puts the default
    // character for each of the others (one per unit or one per surrogate pair).
    BOOL used = FALSE;
    const std::string starred = ToNarrow(units.data(), length, "*", &used);
    Units kept;
    std::size_t lacking = 0;
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] > 0xFF) {
            ++lacking;
            if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
                ++pairs;
            }
        } else if (units[i] != u'*') {
            kept += units[i];
        }
    }
    FUZZ_CHECK((used != FALSE) == (lacking != 0));
    FUZZ_CHECK(starred.size() == narrow.size());
    FUZZ_CHECK(starred.size() <= units.size() && starred.size() + pairs >= units.size());
    Units keptBack;
    for (const char byte : starred) {
        if (byte != '*') {
            keptBack += static_cast<unsigned char>(byte);
        }
    }
    FUZZ_CHECK(keptBack == kept);
}

// The handle and the string over the text up to its first zero unit.
void CheckHandleAndString(const Units& units, std::size_t split) {
    const Units text = units.substr(0, units.find(u'\0'));
    const WideStringHandle handle(text.c_str());
    FUZZ_CHECK(handle.Length() == text.size());
    const std::string narrow = ToNarrow(text.c_str(), -1);
    FUZZ_CHECK(handle.Narrow() != nullptr && std::strlen(handle.Narrow()) + 1 == narrow.size());
    FUZZ_CHECK(std::memcmp(handle.Narrow(), narrow.data(), narrow.size()) == 0);

    const TextString fromHandle(handle);
    FUZZ_CHECK(std::strcmp(fromHandle.Text(), handle.Narrow()) == 0);
    TextString assigned("left over");
    assigned.AssignWide(text.c_str());
    FUZZ_CHECK(std::strcmp(assigned.Text(), handle.Narrow()) == 0);
    FUZZ_CHECK(assigned.Length() == std::strlen(handle.Narrow()));

    const WideStringHandle back(handle.Narrow());
    const Units wideBack = ToWide(handle.Narrow(), -1);
    FUZZ_CHECK(back.Length() + 1 == wideBack.size());
    FUZZ_CHECK(Units(back.Wide(), back.Length()) == wideBack.substr(0, back.Length()));
    FUZZ_CHECK((handle.Compare(back) < 0) == (back.Compare(handle) > 0));
    FUZZ_CHECK((handle == back) == (Units(back.Wide(), back.Length()) == text));

    // Two halves appended make the whole again.
    const std::size_t cut = text.empty() ? 0 : split % (text.size() + 1);
    WideStringHandle joined(text.substr(0, cut).c_str());
    joined += WideStringHandle(text.substr(cut).c_str());
    FUZZ_CHECK(joined == handle);
    FUZZ_CHECK(joined.Length() == handle.Length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool utf8 = (data[0] & 1) != 0;
    FUZZ_CHECK(std::setlocale(LC_ALL, utf8 ? "C.UTF-8" : "C") != nullptr);
    const std::size_t split = data[0] >> 1;

    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckNarrowToWide(bytes, utf8);

    Units units;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    CheckWideToNarrow(units, utf8);
    CheckHandleAndString(units, split);
    return 0;
}
