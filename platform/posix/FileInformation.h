// What a file is, as Windows describes it (attributes, times, size): by name at a path
// already resolved to its folder and last name (PathBeneath), for the substitute's own
// GetFileAttributesExA and the card's, and by handle (GetFileInformationByHandle).
#pragma once

#include "platform/posix/PathBeneath.h"
#include "platform/posix/Win32Api.h"

namespace platform::posix {

// The level and the place asked for, checked before any path is resolved, as Windows checks
// them first; false with ERROR_INVALID_PARAMETER.
bool StandardAttributesAsked(GET_FILEEX_INFO_LEVELS level, LPVOID information);
// The name itself, never what a link at it points to; sets the Windows error.
BOOL AttributesAt(const PathBeneath& path, LPVOID information);

}  // namespace platform::posix
