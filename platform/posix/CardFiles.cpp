// The card's services over POSIX files.  The card is its drive folder's descriptor, encoded
// as a handle; every path below it is resolved relative to it (PathBeneath), and the
// services act there as the substitute's own Win32 services do (NamedFiles.h,
// FileInformation.h, VolumeQueries.h).
#include "platform/CardFiles.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/DescriptorHandles.h"
#include "platform/posix/FileInformation.h"
#include "platform/posix/NamedFiles.h"
#include "platform/posix/PathBeneath.h"
#include "platform/posix/VolumeQueries.h"

namespace platform::card {
namespace {

using posix::PathBeneath;

// The drive folder's descriptor of an open card; false with ERROR_INVALID_HANDLE for none.
bool DriveOf(HANDLE card, int& drive) {
    if (!posix::DescriptorFromHandle(card, drive)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

}  // namespace

HANDLE OpenCardFolder(LPCSTR driveFolder) {
    if (driveFolder == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    posix::Descriptor drive = posix::OpenFolderAsNamed(driveFolder);
    return drive.IsEmpty() ? INVALID_HANDLE_VALUE : posix::HandleFromDescriptor(drive.Detach());
}

BOOL CloseCardFolder(HANDLE card) { return ::CloseHandle(card); }

HANDLE CreateFileA(HANDLE card, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    int drive = -1;
    if (!DriveOf(card, drive)) {
        return INVALID_HANDLE_VALUE;
    }
    const PathBeneath path(drive, name);
    return path.Folder() < 0 ? INVALID_HANDLE_VALUE : posix::CreateAt(path, access, share, disposition, flags);
}

BOOL DeleteFileA(HANDLE card, LPCSTR name) {
    int drive = -1;
    if (!DriveOf(card, drive)) {
        return FALSE;
    }
    const PathBeneath path(drive, name);
    return path.Folder() >= 0 && posix::DeleteAt(path);
}

BOOL MoveFileExA(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags) {
    int drive = -1;
    if (!DriveOf(card, drive) || !posix::KnownMoveFlags(flags)) {
        return FALSE;
    }
    const PathBeneath from(drive, existing);
    if (from.Folder() < 0) {
        return FALSE;
    }
    const PathBeneath to(drive, newName);
    return to.Folder() >= 0 && posix::MoveAt(from, to, flags);
}

BOOL GetFileAttributesExA(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    int drive = -1;
    if (!DriveOf(card, drive) || !posix::StandardAttributesAsked(level, information)) {
        return FALSE;
    }
    const PathBeneath path(drive, name);
    return path.Folder() >= 0 && posix::AttributesAt(path, information);
}

BOOL GetDiskFreeSpaceExA(HANDLE card, LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    int drive = -1;
    if (!DriveOf(card, drive)) {
        return FALSE;
    }
    const PathBeneath path(drive, directory);
    return path.Folder() >= 0 && posix::FreeSpaceAt(path, freeBytesAvailable, totalBytes, totalFreeBytes);
}

BOOL GetDiskFreeSpaceA(HANDLE card, LPCSTR directory, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
    int drive = -1;
    if (!DriveOf(card, drive)) {
        return FALSE;
    }
    const PathBeneath path(drive, directory);
    return path.Folder() >= 0 &&
           posix::SectorsAt(path, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

}  // namespace platform::card
