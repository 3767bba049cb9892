// The Windows error that a POSIX failure of the file services stands for.
#pragma once

#include "platform/Platform.h"

namespace platform::posix {

DWORD ErrorFromErrno(int error);

}  // namespace platform::posix
