// Files by name in their folder: created or opened, removed, moved, at a path already
// resolved to its folder and last name (PathBeneath), for the substitute's own CreateFileA,
// DeleteFileA and MoveFileExA and the card's.  Every name is opened, made, moved and removed
// relative to its folder's descriptor.  Each sets the Windows error that the same failure
// gives there.
#pragma once

#include "platform/posix/PathBeneath.h"
#include "platform/posix/Win32Api.h"

namespace platform::posix {

// CreateFileA: security attributes, attributes and templates have no POSIX counterpart and
// are ignored; share modes keep writers apart (ShareModes.h).  Of the flags only
// FILE_FLAG_NO_BUFFERING is honoured.
HANDLE CreateAt(const PathBeneath& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL DeleteAt(const PathBeneath& path);
// The flags, checked before any path is resolved, as Windows checks them first; false with
// ERROR_INVALID_PARAMETER.
bool KnownMoveFlags(DWORD flags);
BOOL MoveAt(const PathBeneath& from, const PathBeneath& to, DWORD flags);

}  // namespace platform::posix
