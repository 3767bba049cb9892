#include "com/WideStringHandle.h"

#include "com/ComError.h"
#include "com/ScopedBlock.h"
#include "platform/SystemApi.h"

#include <limits>
#include <new>
#include <utility>

struct WideStringHandle::Record {
    BSTR wide;
    char* narrow;
    LONG refs;
};

namespace {

// A new BSTR holding the narrow text converted from the ANSI code page.
BSTR WideFromNarrow(const char* narrow) {
    const int units = platform::sys.MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (units == 0) {
        ThrowLastSystemError();
    }
    HeapBlock<OLECHAR> converted = NewHeapBlock<OLECHAR>(static_cast<SIZE_T>(units));
    if (platform::sys.MultiByteToWideChar(CP_ACP, 0, narrow, -1, converted.Get(), units) == 0) {
        ThrowLastSystemError();
    }
    BSTR wide = platform::sys.SysAllocString(converted.Get());
    if (wide == nullptr) {
        ThrowComError(E_OUTOFMEMORY);
    }
    return wide;
}

}  // namespace

WideStringHandle::Record* WideStringHandle::NewRecord(BSTR wide) {
    void* memory = platform::sys.HeapAlloc(GetProcessHeap(), 0, sizeof(Record));
    if (memory == nullptr) {
        platform::sys.SysFreeString(wide);
        ThrowComError(E_OUTOFMEMORY);
    }
    return new (memory) Record{wide, nullptr, 1};
}

WideStringHandle::WideStringHandle(const char* narrow)
    : record_(NewRecord(narrow != nullptr ? WideFromNarrow(narrow) : nullptr)) {}

WideStringHandle::WideStringHandle(const OLECHAR* wide) : record_(nullptr) {
    BSTR copy = nullptr;
    if (wide != nullptr) {
        copy = platform::sys.SysAllocString(wide);
        if (copy == nullptr) {
            ThrowComError(E_OUTOFMEMORY);
        }
    }
    record_ = NewRecord(copy);
}

WideStringHandle WideStringHandle::Attach(BSTR owned) { return WideStringHandle(NewRecord(owned)); }

WideStringHandle::WideStringHandle(const WideStringHandle& other) noexcept : record_(other.record_) {
    if (record_ != nullptr) {
        InterlockedIncrement(&record_->refs);
    }
}

WideStringHandle::WideStringHandle(WideStringHandle&& other) noexcept
    : record_(std::exchange(other.record_, nullptr)) {}

WideStringHandle& WideStringHandle::operator=(const WideStringHandle& other) noexcept {
    if (record_ != other.record_) {
        WideStringHandle copy(other);
        *this = std::move(copy);
    }
    return *this;
}

WideStringHandle& WideStringHandle::operator=(WideStringHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        record_ = std::exchange(other.record_, nullptr);
    }
    return *this;
}

// The new record is made before the old one goes, so that a failure leaves the handle as
// it was and the text may be this handle's own narrow copy.
WideStringHandle& WideStringHandle::operator=(const char* narrow) {
    WideStringHandle made(narrow);
    return *this = std::move(made);
}

WideStringHandle::~WideStringHandle() { Reset(); }

void WideStringHandle::Reset() noexcept {
    Record* record = std::exchange(record_, nullptr);
    if (record == nullptr || InterlockedDecrement(&record->refs) != 0) {
        return;
    }
    platform::sys.SysFreeString(record->wide);
    if (record->narrow != nullptr) {
        FreeHeapBlock(record->narrow);
    }
    record->~Record();
    FreeHeapBlock(record);
}

BSTR WideStringHandle::Wide() const noexcept { return record_ != nullptr ? record_->wide : nullptr; }

UINT WideStringHandle::Length() const noexcept { return SysStringLen(Wide()); }

// The narrow copy is sized by asking the converter first: a code page such as UTF-8 may
// need more than two bytes for one UTF-16 unit.
const char* WideStringHandle::Narrow() const {
    if (record_ == nullptr || record_->wide == nullptr) {
        return nullptr;
    }
    if (record_->narrow == nullptr) {
        const BSTR wide = record_->wide;
        const int bytes = platform::sys.WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (bytes == 0) {
            ThrowLastSystemError();
        }
        HeapBlock<char> narrow = NewHeapBlock<char>(static_cast<SIZE_T>(bytes));
        if (platform::sys.WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.Get(), bytes, nullptr, nullptr) == 0) {
            ThrowLastSystemError();
        }
        record_->narrow = narrow.Detach();
    }
    return record_->narrow;
}

// The joined record is complete before the old one goes: a failure leaves the handle as
// it was, and a handle may be appended to itself.
WideStringHandle& WideStringHandle::operator+=(const WideStringHandle& right) {
    const UINT leftLength = Length();
    const UINT rightLength = right.Length();
    if (rightLength > std::numeric_limits<UINT>::max() - leftLength) {
        ThrowComError(E_OUTOFMEMORY);
    }
    const UINT total = leftLength + rightLength;
    BSTR joined = platform::sys.SysAllocStringLen(nullptr, total);
    if (joined == nullptr && total != 0) {
        ThrowComError(E_OUTOFMEMORY);
    }
    if (joined != nullptr) {
        for (UINT i = 0; i < leftLength; ++i) {
            joined[i] = Wide()[i];
        }
        for (UINT i = 0; i < rightLength; ++i) {
            joined[leftLength + i] = right.Wide()[i];
        }
        joined[total] = 0;
    }
    Record* record = NewRecord(joined);
    Reset();
    record_ = record;
    return *this;
}

WideStringHandle& WideStringHandle::operator+=(const char* right) { return *this += WideStringHandle(right); }

int WideStringHandle::Compare(const WideStringHandle& right) const noexcept {
    if (record_ == right.record_) {
        return 0;
    }
    if (record_ == nullptr) {
        return -1;
    }
    if (right.record_ == nullptr) {
        return 1;
    }
    const BSTR a = record_->wide;
    const BSTR b = right.record_->wide;
    if (a == nullptr) {
        return b == nullptr ? 0 : -1;
    }
    if (b == nullptr) {
        return 1;
    }
    const UINT aLength = SysStringLen(a);
    const UINT bLength = SysStringLen(b);
    const UINT common = aLength < bLength ? aLength : bLength;
    for (UINT i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        }
    }
    if (aLength == bLength) {
        return 0;
    }
    return aLength < bLength ? -1 : 1;
}
