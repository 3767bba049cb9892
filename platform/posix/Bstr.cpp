// BSTR: UTF-16 text preceded by its length in bytes (32 bits) and followed by a zero
// code unit, allocated from the C heap.  The BSTR points at the text, so it reads as an
// ordinary zero-terminated wide string, while the prefix keeps any embedded zeros.
#include "platform/Platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
// Room for a whole zero code unit after text of any byte length, odd ones included.
constexpr std::size_t kTerminator = sizeof(OLECHAR) + 1;

unsigned char* BlockOf(BSTR s) { return reinterpret_cast<unsigned char*>(s) - kPrefix; }

// A BSTR of `bytes` bytes of text, zeros after it; the text itself is left to the caller.
BSTR AllocateBytes(std::size_t bytes) {
    if (bytes > std::numeric_limits<std::uint32_t>::max() - kPrefix - kTerminator) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + kTerminator));
    if (block == nullptr) {
        return nullptr;
    }
    const auto length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &length, kPrefix);
    std::memset(block + kPrefix + bytes, 0, kTerminator);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    BSTR s = AllocateBytes(static_cast<std::size_t>(length) * sizeof(OLECHAR));
    if (s == nullptr) {
        return nullptr;
    }
    if (text != nullptr) {
        std::memcpy(s, text, length * sizeof(OLECHAR));
    } else {
        // Windows leaves the text undefined; zeros keep it from reading as garbage.
        std::memset(s, 0, length * sizeof(OLECHAR));
    }
    return s;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<UINT>(lstrlenW(text)));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) {
    BSTR s = AllocateBytes(length);
    if (s == nullptr) {
        return nullptr;
    }
    if (bytes != nullptr) {
        std::memcpy(s, bytes, length);
    } else {
        std::memset(s, 0, length);
    }
    return s;
}

void SysFreeString(BSTR s) {
    if (s != nullptr) {
        std::free(BlockOf(s));
    }
}

UINT SysStringByteLen(BSTR s) {
    if (s == nullptr) {
        return 0;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, BlockOf(s), kPrefix);
    return length;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / static_cast<UINT>(sizeof(OLECHAR)); }
