#include "platform/win32/ActivationContext.h"

namespace platform::win32 {

HRESULT LastErrorStatus() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

ActivationContext::ActivationContext(LPCWSTR source, LPCWSTR resource, LPCWSTR assemblyDirectory) noexcept {
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    request.lpSource = source;
    request.lpAssemblyDirectory = assemblyDirectory;
    if (resource != nullptr) {
        request.dwFlags |= ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpResourceName = resource;
    }
    handle_ = CreateActCtxW(&request);
    if (!IsValid()) {
        status_ = LastErrorStatus();
    }
}

ActivationContext::~ActivationContext() {
    if (IsValid()) {
        const DWORD error = GetLastError();
        ReleaseActCtx(handle_);
        SetLastError(error);
    }
}

ActiveContext::ActiveContext(const ActivationContext& context) noexcept {
    if (!context.IsValid()) {
        status_ = context.Status();
    } else if (ActivateActCtx(context.Get(), &cookie_)) {
        active_ = true;
    } else {
        status_ = LastErrorStatus();
    }
}

ActiveContext::~ActiveContext() {
    if (active_) {
        const DWORD error = GetLastError();
        DeactivateActCtx(0, cookie_);
        SetLastError(error);
    }
}

}  // namespace platform::win32
