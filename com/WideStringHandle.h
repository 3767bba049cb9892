// A shared, reference-counted handle to a UTF-16 string (BSTR) of the kind the camera
// component hands out and takes, with a narrow copy made on first demand and kept.
//
// Copies share one record; the record's wide string never changes after it is made, so
// there is no copy-on-write.  Failures raise _com_error (E_OUTOFMEMORY, or the system
// error of a failed conversion).
#pragma once

#include "platform/Platform.h"

class WideStringHandle {
public:
    WideStringHandle() noexcept = default;                 // empty
    explicit WideStringHandle(const char* narrow);          // from the ANSI code page; null gives a null string
    explicit WideStringHandle(const OLECHAR* wide);         // a new BSTR copy up to the terminator

    // Takes over a BSTR that the component handed out, without a copy.  If the record
    // cannot be made the BSTR is freed and E_OUTOFMEMORY raised, so nothing leaks.
    static WideStringHandle Attach(BSTR owned);

    WideStringHandle(const WideStringHandle& other) noexcept;
    WideStringHandle(WideStringHandle&& other) noexcept;
    WideStringHandle& operator=(const WideStringHandle& other) noexcept;
    WideStringHandle& operator=(WideStringHandle&& other) noexcept;
    // Refers to a new record made from the text; the old one is released only once the new
    // one exists, so a failure leaves the handle as it was (and the text may be its own
    // narrow copy).
    WideStringHandle& operator=(const char* narrow);
    ~WideStringHandle();

    void Reset() noexcept;                                  // the handle is empty afterwards

    bool IsEmpty() const noexcept { return record_ == nullptr; }
    // The wide string, or null for an empty handle or a null string.
    BSTR Wide() const noexcept;
    // The string's length from its BSTR length prefix (0 for empty or null).
    UINT Length() const noexcept;
    // The narrow copy in the ANSI code page, made once and kept; null for an empty handle
    // or a null string.
    const char* Narrow() const;

    // A new record holding both texts by their stored lengths; on failure the handle keeps
    // its text.  A handle may be appended to itself.
    WideStringHandle& operator+=(const WideStringHandle& right);
    WideStringHandle& operator+=(const char* right);

    // Negative, zero or positive: equal only for the same code units and the same length.
    int Compare(const WideStringHandle& right) const noexcept;
    bool operator==(const WideStringHandle& right) const noexcept { return Compare(right) == 0; }
    bool operator!=(const WideStringHandle& right) const noexcept { return Compare(right) != 0; }

private:
    struct Record;
    explicit WideStringHandle(Record* record) noexcept : record_(record) {}
    // A record with count 1 around `wide`, which it takes over (also when it raises).
    static Record* NewRecord(BSTR wide);

    Record* record_ = nullptr;
};
