#include "text/TextString.h"

#include "com/ComError.h"
#include "com/ScopedBlock.h"
#include "com/WideStringHandle.h"
#include "platform/SystemApi.h"

#include <cstring>
#include <limits>
#include <utility>

namespace {

// Bytes taken by up to `count` characters from `from`, stopping at the terminator and
// before a lead byte that the terminator cuts short.
UINT WalkCharacters(const char* from, UINT count) {
    const char* p = from;
    for (UINT i = 0; i < count; ++i) {
        const int step = platform::NarrowCharLength(p);
        if (step <= 0) {
            break;
        }
        p += step;
    }
    return static_cast<UINT>(p - from);
}

}  // namespace

char* TextString::AllocateText(SIZE_T bytes) {
    // `capacity` is a signed 32-bit count.
    if (bytes > static_cast<SIZE_T>(std::numeric_limits<int>::max())) {
        ThrowComError(E_OUTOFMEMORY);
    }
    void* block = platform::sys.CoTaskMemAlloc(bytes);
    if (block == nullptr) {
        ThrowComError(E_OUTOFMEMORY);
    }
    return static_cast<char*>(block);
}

void TextString::Adopt(char* text, UINT length) noexcept {
    Clear();
    buffer_ = text;
    length_ = length;
    capacity_ = static_cast<int>(length) + 1;
}

TextString::TextString(const char* text) { AssignNarrow(text); }

TextString::TextString(const WideStringHandle& handle) {
    if (handle.Wide() == nullptr) {
        return;
    }
    const char* narrow = handle.Narrow();
    if (narrow == nullptr) {
        ThrowComError(E_OUTOFMEMORY);
    }
    AssignNarrow(narrow);
}

TextString::TextString(const TextString& other) { CopyFrom(other); }

TextString& TextString::operator=(const TextString& other) {
    if (this != &other) {
        CopyFrom(other);
    }
    return *this;
}

TextString& TextString::operator=(const char* text) {
    AssignNarrow(text);
    return *this;
}

TextString::~TextString() { Clear(); }

// Every replacement below allocates before it lets go of the old text, so a refused
// allocation leaves the string as it was.

void TextString::CopyFrom(const TextString& other) {
    char* copy = AllocateText(static_cast<SIZE_T>(other.length_) + 1);
    if (other.length_ != 0) {
        std::memcpy(copy, other.buffer_, other.length_);  // zero bytes inside the length too
    }
    copy[other.length_] = 0;
    Adopt(copy, other.length_);
}

void TextString::AssignNarrow(const char* text) {
    if (text == buffer_) {
        return;
    }
    if (text == nullptr) {
        Clear();
        return;
    }
    const std::size_t length = std::strlen(text);
    char* copy = AllocateText(length + 1);
    std::memcpy(copy, text, length + 1);
    Adopt(copy, static_cast<UINT>(length));
}

// The converter is asked for the size first and the result buffer is allocated to fit
// exactly: a code page such as UTF-8 needs more than two bytes for some UTF-16 units, and
// this still makes one allocation with no scratch copy.
void TextString::AssignWide(const WCHAR* text) {
    Clear();
    if (text == nullptr) {
        return;
    }
    const int bytes = platform::sys.WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        AssignNarrow("");  // an empty text, or one the converter refused: either way the empty text
        return;
    }
    TaskMemoryBlock<char> converted(AllocateText(static_cast<SIZE_T>(bytes)));
    if (platform::sys.WideCharToMultiByte(CP_ACP, 0, text, -1, converted.Get(), bytes, nullptr, nullptr) != bytes) {
        converted.Reset();
        AssignNarrow("");
        return;
    }
    Adopt(converted.Detach(), static_cast<UINT>(bytes - 1));
}

const char* TextString::Text() const noexcept {
    return buffer_ != nullptr && length_ != 0 ? buffer_ : &emptyText_;
}

void TextString::Clear() noexcept {
    if (buffer_ != nullptr) {
        platform::sys.CoTaskMemFree(buffer_);
    }
    buffer_ = nullptr;
    length_ = 0;
    capacity_ = 0;
    emptyText_ = 0;
}

char* TextString::GetWriteBuffer(int count) {
    if (count < 0) {
        ThrowComError(E_INVALIDARG);
    }
    if (count >= capacity_) {
        char* grown = AllocateText(static_cast<SIZE_T>(count) + 1);
        std::memset(grown, 0, static_cast<std::size_t>(count) + 1);
        if (capacity_ != 0) {
            std::memcpy(grown, buffer_, static_cast<std::size_t>(capacity_));  // text, terminator and slack
        }
        platform::sys.CoTaskMemFree(buffer_);
        buffer_ = grown;
        capacity_ = count + 1;
    }
    return buffer_;
}

void TextString::ReleaseWriteBuffer(int count) {
    if (count == -1) {
        const void* end = buffer_ != nullptr ? std::memchr(buffer_, 0, static_cast<std::size_t>(capacity_)) : nullptr;
        if (end == nullptr) {
            Clear();
            return;
        }
        length_ = static_cast<UINT>(static_cast<const char*>(end) - buffer_);
        return;
    }
    // A count beyond the buffer would write the terminator outside it.
    if (count < 0 || count >= capacity_) {
        ThrowComError(E_INVALIDARG);
    }
    length_ = static_cast<UINT>(count);
    buffer_[count] = 0;
}

const char* TextString::CharPointer(int index) const {
    const char* text = Text();
    return text + WalkCharacters(text, index > 0 ? static_cast<UINT>(index) : 0);
}

TextString TextString::Left(UINT count) const { return Mid(0, count); }

// Positions and counts are characters, but are first held against the byte length.
TextString TextString::Mid(UINT first, UINT count) const {
    TextString part;
    if (first > length_) {
        return part;
    }
    if (count > length_ - first) {
        count = length_ - first;
    }
    const char* start = CharPointer(static_cast<int>(first));
    const int bytes = static_cast<int>(WalkCharacters(start, count));
    std::memcpy(part.GetWriteBuffer(bytes), start, static_cast<std::size_t>(bytes));
    part.ReleaseWriteBuffer(bytes);
    return part;
}

int TextString::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int count = 0;
    try {
        count = FormatV(format, &arguments);
    } catch (...) {
        va_end(arguments);
        throw;
    }
    va_end(arguments);
    return count;
}

// The output is complete before the content is replaced, so `format` may be this
// string's own text.
int TextString::FormatV(const char* format, va_list* arguments) {
    LocalBlock<char> output;
    const DWORD count = platform::sys.FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                                     format, 0, 0, reinterpret_cast<LPSTR>(output.Put()), 1,
                                                     arguments);
    AssignNarrow(output.Get());
    return static_cast<int>(count);
}
