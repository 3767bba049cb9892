// The system's narrow text: zero-terminated text in the ANSI code page, in an exact-fit
// buffer from the COM task allocator that this string alone owns.
//
// A refused allocation raises _com_error with E_OUTOFMEMORY; the string is then as it
// was, or empty where the operation had already cleared it (AssignWide).
#pragma once

#include "platform/Platform.h"

#include <cstdarg>

class WideStringHandle;

class TextString {
public:
    TextString() noexcept = default;
    explicit TextString(const char* text);
    explicit TextString(const WideStringHandle& handle);
    TextString(const TextString& other);
    TextString& operator=(const TextString& other);
    TextString& operator=(const char* text);
    virtual ~TextString();

    void AssignWide(const WCHAR* text);

    // Never null: an empty string gives an empty text.
    const char* Text() const noexcept;
    UINT Length() const noexcept { return length_; }
    void Clear() noexcept;

    // Writable-buffer protocol: at least count + 1 bytes; Length and Text keep describing
    // the old text until ReleaseWriteBuffer (count, or -1 to measure up to the first zero).
    // A negative request, or a release count outside the buffer, raises E_INVALIDARG.
    char* GetWriteBuffer(int count);
    void ReleaseWriteBuffer(int count);

    // Positions and counts are characters of the narrow code page.
    TextString Left(UINT count) const;
    TextString Mid(UINT first, UINT count) const;

    // Replaces the content by `format` with its numbered inserts (%1, %2, %3!d!, ...)
    // filled in; `format` may be this string's own Text.  Returns FormatMessageA's count,
    // 0 on failure (the string is then empty).
    int Format(const char* format, ...);

private:
    int FormatV(const char* format, va_list* arguments);
    // The character at `index` (the start for a negative one, the terminator beyond the text).
    const char* CharPointer(int index) const;
    void AssignNarrow(const char* text);
    void CopyFrom(const TextString& other);
    // Replaces the content by `text`, an exact-fit block of length + 1 bytes.
    void Adopt(char* text, UINT length) noexcept;
    // A block from the COM task allocator; raises E_OUTOFMEMORY when refused.
    static char* AllocateText(SIZE_T bytes);

    char* buffer_ = nullptr;
    UINT length_ = 0;
    int capacity_ = 0;
    char emptyText_ = 0;
};
