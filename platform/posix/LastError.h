// How the Win32 functions of this layer fail: the calling thread's last error set, and the
// zero the function returns for a failure.
#pragma once

#include "platform/Platform.h"

namespace platform::posix {

template <typename Result>
Result Fail(DWORD error) {
    SetLastError(error);
    return Result{0};
}

}  // namespace platform::posix
