// A count clamped to 32 bits, as Windows clamps the counts it reports.
#pragma once

#include "platform/posix/Win32Api.h"

namespace platform::posix {

inline DWORD ClampedCount(ULONGLONG count) { return count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(count); }

}  // namespace platform::posix
