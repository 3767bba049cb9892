// The seam's card services as the system provides them (the entries' contract is
// SystemApi.h's): the card opened and closed, and the file services that take a card and a
// path below its drive folder.  Windows: platform/win32/CardFiles.cpp, over the system's
// own path services; POSIX: platform/posix/CardFiles.cpp, relative to the drive folder's
// descriptor.
#pragma once

#include "platform/Platform.h"

namespace platform::card {

HANDLE OpenCardFolder(LPCSTR driveFolder);
BOOL CloseCardFolder(HANDLE card);

HANDLE CreateFileA(HANDLE card, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeleteFileA(HANDLE card, LPCSTR name);
BOOL MoveFileExA(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags);
BOOL GetFileAttributesExA(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL GetDiskFreeSpaceExA(HANDLE card, LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes);
BOOL GetDiskFreeSpaceA(HANDLE card, LPCSTR directory, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);

}  // namespace platform::card
