#include "Utf8.h"

namespace cameraserver {

// UTF-8 to UTF-16; a byte that does not begin a well-formed sequence becomes U+FFFD.
void AppendUtf8(const std::string& bytes, Units& out) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned lead = at(i);
        std::size_t length = 0;
        unsigned lowest = 0x80;
        unsigned highest = 0xBF;  // the range allowed for the second byte
        if (lead < 0x80) {
            out.push_back(static_cast<OLECHAR>(lead));
            ++i;
            continue;
        }
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
        }
        bool wellFormed = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const unsigned b = at(i + k);
            wellFormed = k == 1 ? (b >= lowest && b <= highest) : (b >= 0x80 && b <= 0xBF);
        }
        if (!wellFormed) {
            out.push_back(static_cast<OLECHAR>(0xFFFD));
            ++i;
            continue;
        }
        unsigned codePoint = lead & (0xFFu >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            codePoint = (codePoint << 6) | (at(i + k) & 0x3Fu);
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out.push_back(static_cast<OLECHAR>(0xD800 + (codePoint >> 10)));
            out.push_back(static_cast<OLECHAR>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out.push_back(static_cast<OLECHAR>(codePoint));
        }
        i += length;
    }
}

}  // namespace cameraserver
