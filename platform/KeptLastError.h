// The thread's last error, taken when made and put back when it goes: what an owner keeps
// around a close it makes on the caller's behalf, so that the caller still reads the error
// of its own failed call afterwards.
#pragma once

#include "platform/Platform.h"

namespace platform {

class KeptLastError {
public:
    KeptLastError() noexcept : error_(GetLastError()) {}
    ~KeptLastError() { SetLastError(error_); }
    KeptLastError(const KeptLastError&) = delete;
    KeptLastError& operator=(const KeptLastError&) = delete;

private:
    DWORD error_;
};

}  // namespace platform
