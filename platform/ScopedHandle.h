// The one owner of a system handle, whatever its kind: a file or folder, a descriptor, a
// device list, a volume search, a registry key, a card.  It holds exactly one raw value,
// closes it when it goes, on every path, and says what it does with it:
//
//   platform::win32::KernelHandle file(CreateFileW(...));   // may hold the invalid value
//   if (file.IsEmpty()) { ... }
//   ReadFile(file.Get(), ...);
//   RegOpenKeyExW(root, name, 0, KEY_READ, key.Put());    // closes the old value first
//   return file.Detach();                                  // the caller closes it now
//
// A Kind names what is owned (Type), the value that holds nothing (Invalid), the call that
// closes a value (Close, true when the system reports success) and the error that closing
// must leave as the caller had it (KeptError: an object that takes the thread's last error
// or errno when made and puts it back when it goes).  The kinds live beside their system:
// platform/win32/Handles.h, platform/posix/Descriptor.h and Directory.h, and the seam's own
// in platform/FileHandle.h and CardFolder.h.
//
// Header-only and free of system headers, so that the camera components, which do not
// link the seam, use the same owner.
#pragma once

#include <utility>

namespace platform {

template <class Kind>
class ScopedHandle {
public:
    using Type = typename Kind::Type;

    ScopedHandle() noexcept : value_(Kind::Invalid()) {}
    // Takes over `value`, which may be the invalid value (an open that failed).
    explicit ScopedHandle(Type value) noexcept : value_(value) {}
    ~ScopedHandle() {
        static_assert(sizeof(ScopedHandle) == sizeof(Type), "an owner is the value it owns");
        Reset();
    }
    ScopedHandle(ScopedHandle&& other) noexcept : value_(other.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsEmpty() const noexcept { return value_ == Kind::Invalid(); }
    Type Get() const noexcept { return value_; }

    // For a call that hands out a value: closes the old one first.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }

    // Closes what it holds and takes `value` instead; the caller's last error or errno is
    // kept, whatever the close reports.
    void Reset(Type value = Kind::Invalid()) noexcept {
        const Type old = std::exchange(value_, value);
        if (old != Kind::Invalid()) {
            const typename Kind::KeptError kept;
            Kind::Close(old);
        }
    }

    // Hands the value to the caller, who closes it; empty afterwards.
    Type Detach() noexcept { return std::exchange(value_, Kind::Invalid()); }

    // Closes now, for a caller that judges the close (it can be the moment a write fails):
    // false when the system reports a failure, its error left for the caller, or when
    // nothing was held.  Empty afterwards either way.
    bool Close() noexcept { return !IsEmpty() && Kind::Close(Detach()); }

private:
    Type value_;
};

}  // namespace platform
