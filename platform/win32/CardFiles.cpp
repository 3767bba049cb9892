// The file services that take a path, over the system's own.  With no card's bounds declared
// they are the system's calls; within them a path off the card is refused, and for a path on
// it the folders below the drive folder are held, none a reparse point (HeldFolders), while
// the system's call runs.  The last name is never followed either: the services that take a
// name act on the name itself (a move, a removal, the attributes), and a file is opened with
// FILE_FLAG_OPEN_REPARSE_POINT and refused when it is one.
#include "platform/CardFiles.h"

#include "platform/SystemApi.h"
#include "platform/win32/HeldFolders.h"

namespace platform::files {
namespace {

using win32::HeldFolders;

bool IsReparsePoint(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return sys.GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    const HeldFolders folders(name, HeldFolders::Last::kName);
    if (!folders.Held()) {
        return INVALID_HANDLE_VALUE;
    }
    const DWORD notFollowed = folders.OnCard() ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    win32::KernelHandle file(::CreateFileA(name, access, share, security, disposition, flags | notFollowed, templateFile));
    if (file.IsEmpty() || !folders.OnCard()) {
        return file.Detach();
    }
    // The create's own last error (ERROR_ALREADY_EXISTS for a file replaced) is the caller's.
    const DWORD created = GetLastError();
    if (IsReparsePoint(file.Get())) {
        file.Reset();
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(created);
    return file.Detach();
}

BOOL DeleteFileA(LPCSTR name) {
    const HeldFolders folders(name, HeldFolders::Last::kName);
    return folders.Held() && ::DeleteFileA(name);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    const HeldFolders from(existing, HeldFolders::Last::kName);
    if (!from.Held()) {
        return FALSE;
    }
    const HeldFolders to(newName, HeldFolders::Last::kName);
    return to.Held() && ::MoveFileExA(existing, newName, flags);
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    const HeldFolders folders(name, HeldFolders::Last::kName);
    return folders.Held() && ::GetFileAttributesExA(name, level, information);
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    const HeldFolders folders(directory, HeldFolders::Last::kFolder);
    return folders.Held() && ::GetDiskFreeSpaceExA(directory, freeBytesAvailable, totalBytes, totalFreeBytes);
}

BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    const HeldFolders folders(rootPath, HeldFolders::Last::kFolder);
    return folders.Held() &&
           ::GetDiskFreeSpaceA(rootPath, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

}  // namespace platform::files
