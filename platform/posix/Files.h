// What the substitute's own Win32 file services (by an ordinary path) and the card's services
// (by a path below a card's drive folder, CardFiles.cpp) share: the services at a path
// already resolved to its folder and last name, and the encoding of descriptors as handles.
// Each sets the Windows error that the same failure gives there.
#pragma once

#include "platform/posix/PathBeneath.h"
#include "platform/posix/Win32Api.h"

namespace platform::posix {

HANDLE HandleFromDescriptor(int descriptor);
// False for a handle that encodes no descriptor (null, INVALID_HANDLE_VALUE, ...).
bool DescriptorFromHandle(HANDLE handle, int& descriptor);

// The arguments checked before any path is resolved, as Windows checks them first; false
// with ERROR_INVALID_PARAMETER.
bool KnownMoveFlags(DWORD flags);
bool StandardAttributesAsked(GET_FILEEX_INFO_LEVELS level, LPVOID information);

// CreateFileA: security attributes, attributes and templates have no POSIX counterpart and
// are ignored; share modes keep writers apart (ShareModes.h).  Of the flags only
// FILE_FLAG_NO_BUFFERING is honoured.
HANDLE CreateAt(const PathBeneath& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL DeleteAt(const PathBeneath& path);
BOOL MoveAt(const PathBeneath& from, const PathBeneath& to, DWORD flags);
BOOL AttributesAt(const PathBeneath& path, LPVOID information);
BOOL FreeSpaceAt(const PathBeneath& path, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                 PULARGE_INTEGER totalFreeBytes);
BOOL SectorsAt(const PathBeneath& path, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
               LPDWORD totalClusters);

}  // namespace platform::posix
