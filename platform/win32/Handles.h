// The kinds of Windows handle that the program and the camera components own
// (platform/ScopedHandle.h), closed through the system's own calls: a kernel object (a
// file, a folder, a device), a device information set, a volume search, a registry key.
// Each keeps the caller's last error when it closes.  The core's file handles, closed
// through the seam, are platform/FileHandle.h's.
#pragma once

#include "platform/KeptLastError.h"
#include "platform/Platform.h"
#include "platform/ScopedHandle.h"

#include <setupapi.h>

namespace platform::win32 {

struct KernelHandleKind {
    using Type = HANDLE;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Type handle) noexcept { return CloseHandle(handle) != 0; }
};

struct DeviceListKind {
    using Type = HDEVINFO;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Type list) noexcept { return SetupDiDestroyDeviceInfoList(list) != 0; }
};

struct VolumeSearchKind {
    using Type = HANDLE;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Type search) noexcept { return FindVolumeClose(search) != 0; }
};

struct RegistryKeyKind {
    using Type = HKEY;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return nullptr; }
    static bool Close(Type key) noexcept { return RegCloseKey(key) == ERROR_SUCCESS; }
};

using KernelHandle = ScopedHandle<KernelHandleKind>;
using DeviceList = ScopedHandle<DeviceListKind>;
using VolumeSearch = ScopedHandle<VolumeSearchKind>;
using RegistryKey = ScopedHandle<RegistryKeyKind>;

}  // namespace platform::win32
