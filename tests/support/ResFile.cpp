#include "support/ResFile.h"

#include <fstream>
#include <iterator>

namespace {

std::uint32_t Read32(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16)) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint16_t Read16(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// A type or name: 0xFFFF and a number, or a zero-terminated UTF-16 string (-1 here).
long ReadId(const std::vector<unsigned char>& bytes, std::size_t& at, std::size_t end) {
    if (at + 4 <= end && Read16(bytes, at) == 0xFFFF) {
        const long id = Read16(bytes, at + 2);
        at += 4;
        return id;
    }
    while (at + 2 <= end && Read16(bytes, at) != 0) {
        at += 2;
    }
    at += 2;
    return -1;
}

}  // namespace

std::vector<CompiledResource> ReadResFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return {};
    }
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<CompiledResource> resources;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t dataSize = Read32(bytes, at);
        const std::uint32_t headerSize = Read32(bytes, at + 4);
        const std::size_t headerEnd = at + headerSize;
        if (headerSize < 16 || headerEnd + dataSize > bytes.size()) {
            error = "malformed record at offset " + std::to_string(at);
            return {};
        }
        std::size_t field = at + 8;
        const long type = ReadId(bytes, field, headerEnd);
        const long name = ReadId(bytes, field, headerEnd);
        field = (field + 3) & ~std::size_t{3};
        // DataVersion (4 bytes) and MemoryFlags (2) come before the language.
        if (field + 8 > headerEnd) {
            error = "record header too short at offset " + std::to_string(at);
            return {};
        }
        const std::uint16_t language = Read16(bytes, field + 6);
        if (type > 0 && name >= 0) {
            resources.push_back({static_cast<std::uint16_t>(type), static_cast<std::uint16_t>(name), language,
                                 std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(headerEnd),
                                                            bytes.begin() + static_cast<std::ptrdiff_t>(headerEnd + dataSize))});
        }
        at = (headerEnd + dataSize + 3) & ~std::size_t{3};
    }
    return resources;
}
