#include "platform/FileHandle.h"
#include "platform/SystemApi.h"

FileHandle::~FileHandle() {
    if (IsOpen()) {
        const DWORD error = GetLastError();
        platform::sys.CloseHandle(handle_);
        SetLastError(error);
    }
}

bool FileHandle::Close() noexcept {
    if (!IsOpen()) {
        return false;
    }
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return platform::sys.CloseHandle(handle) != 0;
}
