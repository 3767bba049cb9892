// A file descriptor as the HANDLE of the substitute's Win32 services, and back: encoded so
// that neither null nor INVALID_HANDLE_VALUE can name a file.
#pragma once

#include "platform/posix/Win32Api.h"

namespace platform::posix {

HANDLE HandleFromDescriptor(int descriptor);
// False for a handle that encodes no descriptor (null, INVALID_HANDLE_VALUE, ...).
bool DescriptorFromHandle(HANDLE handle, int& descriptor);

}  // namespace platform::posix
