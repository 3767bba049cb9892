// The COM client's error exception: a status and, optionally, the error
// information object that the failing component supplied.
#pragma once

#include "platform/Platform.h"

class _com_error {
public:
    // Takes over the caller's reference to `info` (which may be null).
    explicit _com_error(HRESULT status, IErrorInfo* info = nullptr) noexcept;
    _com_error(const _com_error& other) noexcept;
    _com_error& operator=(const _com_error& other) noexcept;
    virtual ~_com_error();

    HRESULT Error() const noexcept { return status_; }
    // The error information object, without adding a reference; may be null.
    IErrorInfo* ErrorInfo() const noexcept { return info_; }

    // An operating-system error n as a status: 0x80070000 | (n & 0xFFFF), and 0 as 0.
    static HRESULT FromSystemError(DWORD error) noexcept;

private:
    HRESULT status_;
    IErrorInfo* info_;
};

// Raises _com_error with the status alone.
[[noreturn]] void ThrowComError(HRESULT status);
// Raises _com_error with the status, taking over the reference to `info`.
[[noreturn]] void ThrowComError(HRESULT status, IErrorInfo* info);
// Raises _com_error with the calling thread's last operating-system error.
[[noreturn]] void ThrowLastSystemError();
