// Owners of the system handles the Windows camera component opens, one kind each: a file
// or device, a device information set, a volume search, a registry key.  Each closes its
// handle on every path, exceptions included, and keeps the caller's last error.
#pragma once

#include "platform/Platform.h"

#include <setupapi.h>

namespace usbcamera {

// Kind: Type, the invalid value (Invalid) and the call that closes a valid one (Close).
template <class Kind>
class Owned {
public:
    using Type = typename Kind::Type;

    Owned() noexcept : value_(Kind::Invalid()) {}
    // Takes over `value`, which may be the invalid value (an open that failed).
    explicit Owned(Type value) noexcept : value_(value) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    bool IsValid() const noexcept { return value_ != Kind::Invalid(); }
    Type Get() const noexcept { return value_; }

    // For a call that hands out the handle: closes the old one first.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }

    void Reset() noexcept {
        if (IsValid()) {
            const DWORD error = GetLastError();
            Kind::Close(value_);
            SetLastError(error);
        }
        value_ = Kind::Invalid();
    }

private:
    Type value_;
};

struct FileKind {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct DeviceListKind {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type list) noexcept { SetupDiDestroyDeviceInfoList(list); }
};

struct VolumeSearchKind {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type search) noexcept { FindVolumeClose(search); }
};

struct RegistryKeyKind {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type key) noexcept { RegCloseKey(key); }
};

using FileHandle = Owned<FileKind>;
using DeviceList = Owned<DeviceListKind>;
using VolumeSearch = Owned<VolumeSearchKind>;
using RegistryKey = Owned<RegistryKeyKind>;

static_assert(sizeof(FileHandle) == sizeof(HANDLE), "an owner is the handle it owns");
static_assert(sizeof(RegistryKey) == sizeof(HKEY), "an owner is the handle it owns");

}  // namespace usbcamera
