#include "cameraserver/Utf8.h"

#include "platform/Utf8Sequence.h"

namespace cameraserver {

namespace {

// UTF-8 to UTF-16; a byte that does not begin a well-formed sequence becomes `stray(byte)`.
template <class Stray>
void Decode(const std::string& bytes, Units& out, Stray stray) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned lead = at(i);
        if (lead < 0x80) {
            out.push_back(static_cast<OLECHAR>(lead));
            ++i;
            continue;
        }
        const std::size_t length = platform::Utf8SequenceAt(bytes, i);
        if (length == 0) {
            out.push_back(stray(lead));
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

}  // namespace

void AppendUtf8(const std::string& bytes, Units& out) {
    Decode(bytes, out, [](unsigned) { return static_cast<OLECHAR>(0xFFFD); });
}

void AppendFileName(const std::string& bytes, Units& out) {
    Decode(bytes, out, [](unsigned byte) { return static_cast<OLECHAR>(0xDC00 + byte); });
}

}  // namespace cameraserver
