// The calling thread's last error, as the Win32 functions of this layer report it.
#include "platform/Platform.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }
