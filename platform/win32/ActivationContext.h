// Owners of an activation context and of its activation on the calling thread: the
// context is released, and an activation deactivated, when its owner ends, on every path,
// exceptions included, keeping the caller's last error.
#pragma once

#include "platform/Platform.h"

namespace platform::win32 {

// The calling thread's last error as a status (0x8007xxxx); E_FAIL when none was set.
HRESULT LastErrorStatus() noexcept;

// An activation context made from a manifest.
class ActivationContext {
public:
    // From the manifest resource `resource` of the module `source` (a full path; the module
    // is read, never run), or from the manifest file `source` itself when `resource` is
    // null.  The files the manifest names are looked for in `assemblyDirectory` only.
    ActivationContext(LPCWSTR source, LPCWSTR resource, LPCWSTR assemblyDirectory) noexcept;
    ~ActivationContext();
    ActivationContext(const ActivationContext&) = delete;
    ActivationContext& operator=(const ActivationContext&) = delete;

    bool IsValid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return handle_; }
    // Why the context could not be made; S_OK for a valid one.
    HRESULT Status() const noexcept { return status_; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HRESULT status_ = S_OK;
};

// A context active on the calling thread for the owner's life.  COM and the loader look
// in it first, so keep the owner's scope to the one call that needs it.
class ActiveContext {
public:
    // An invalid context is not activated; Status() then tells why it is invalid.
    explicit ActiveContext(const ActivationContext& context) noexcept;
    ~ActiveContext();
    ActiveContext(const ActiveContext&) = delete;
    ActiveContext& operator=(const ActiveContext&) = delete;

    bool IsActive() const noexcept { return active_; }
    HRESULT Status() const noexcept { return status_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
    HRESULT status_ = S_OK;
};

}  // namespace platform::win32
