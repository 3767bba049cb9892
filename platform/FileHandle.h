// The owner of one open file handle.
#pragma once

#include "platform/Platform.h"

class FileHandle {
public:
    // Takes over `handle`, which may be INVALID_HANDLE_VALUE (a create that failed).
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    // Closes a handle still open; the caller's last error is kept.
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return handle_; }

    // Closes the handle now, for a caller that judges the result (a close can be the moment
    // a write fails).  False when the system reports a failure or nothing was open.
    bool Close() noexcept;

private:
    HANDLE handle_;
};
