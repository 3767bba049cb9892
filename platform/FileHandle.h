// The core's file handles: those the seam's services hand out, closed through the seam
// (platform::sys.CloseHandle), so that tests see and fail every close.
#pragma once

#include "platform/KeptLastError.h"
#include "platform/Platform.h"
#include "platform/ScopedHandle.h"
#include "platform/SystemApi.h"

namespace platform {

struct FileHandleKind {
    using Type = HANDLE;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Type handle) noexcept { return sys.CloseHandle(handle) != 0; }
};

using FileHandle = ScopedHandle<FileHandleKind>;

}  // namespace platform
