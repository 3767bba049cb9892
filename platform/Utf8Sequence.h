// The rules of well-formed UTF-8 (the Unicode standard's table 3-7): which bytes may lead
// a sequence, how long it is, and which bytes may follow.  The camera components' texts come
// as UTF-8; the code-page fuzzer checks the conversions against the same rules.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The length of the well-formed sequence at `i` of `bytes` (1 to 4), or 0 when none begins
// there: a byte that cannot lead, a second byte out of its lead's range (overlong forms,
// surrogates, beyond U+10FFFF), a following byte that is no continuation, or a cut.
inline std::size_t Utf8SequenceAt(const std::string& bytes, std::size_t i) {
    const auto at = [&bytes](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned lead = at(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned lowest = 0x80;
    unsigned highest = 0xBF;  // the range allowed for the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = lead == 0xE0 ? 0xA0 : 0x80;
        highest = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = lead == 0xF0 ? 0x90 : 0x80;
        highest = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned b = at(i + k);
        if (k == 1 ? (b < lowest || b > highest) : (b < 0x80 || b > 0xBF)) {
            return 0;
        }
    }
    return length;
}

}  // namespace platform
