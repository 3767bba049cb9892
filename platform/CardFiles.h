// The file services that take a path, as the seam's entries have them (SystemApi.h): each
// keeps to the card's bounds in force (CardBounds.h).  Windows: platform/win32/CardFiles.cpp,
// over the system's own; POSIX: the substitute's (platform/posix/Files.cpp), which keeps to
// the bounds itself.
#pragma once

#include "platform/Platform.h"

namespace platform::files {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL DeleteFileA(LPCSTR name);
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes);
BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters);

}  // namespace platform::files
