// The volume queries over statvfs: free space and units by folder, the volume's properties
// by handle.
#include "platform/posix/VolumeQueries.h"

#include "platform/posix/ClampedCount.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/DescriptorHandles.h"
#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace platform::posix {
namespace {

// The volume that holds the folder at `path`; sets the Windows error.
bool VolumeOfFolder(const PathBeneath& path, struct statvfs& volume) {
    // Not waiting on a FIFO that took the folder's name, not taking a terminal.
    const Descriptor folder(openat(path.Folder(), path.Name(),
                                   O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (path.Beneath() ? O_NOFOLLOW : 0)));
    if (folder.IsEmpty()) {
        SetLastError(NameError(errno));
        return false;
    }
    struct stat info {};
    struct stat parent {};
    const bool queried = fstat(folder.Get(), &info) == 0 && S_ISDIR(info.st_mode) &&
                         fstat(path.Folder(), &parent) == 0 && fstatvfs(folder.Get(), &volume) == 0;
    const int error = errno;
    if (!queried) {
        SetLastError(S_ISDIR(info.st_mode) || info.st_mode == 0 ? ErrorFromErrno(error) : ERROR_DIRECTORY);
        return false;
    }
    // Beneath a drive folder, a folder on another file system is not the card's.
    if (path.Beneath() && info.st_dev != parent.st_dev) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

}  // namespace

BOOL FreeSpaceAt(const PathBeneath& path, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                 PULARGE_INTEGER totalFreeBytes) {
    struct statvfs volume {};
    if (!VolumeOfFolder(path, volume)) {
        return FALSE;
    }
    const ULONGLONG unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    if (freeBytesAvailable != nullptr) {
        freeBytesAvailable->QuadPart = static_cast<ULONGLONG>(volume.f_bavail) * unit;
    }
    if (totalBytes != nullptr) {
        totalBytes->QuadPart = static_cast<ULONGLONG>(volume.f_blocks) * unit;
    }
    if (totalFreeBytes != nullptr) {
        totalFreeBytes->QuadPart = static_cast<ULONGLONG>(volume.f_bfree) * unit;
    }
    return TRUE;
}

// The "sector" is what unbuffered reads must be aligned to.  O_DIRECT needs the device's
// logical block, which the file system's block is a multiple of; logical blocks are at most
// 4096 bytes, so the block size up to 4096 always serves (a FAT or exFAT card reports its
// cluster as its block, often far larger).  A cluster is one block; the counts are clamped
// to 32 bits as Windows clamps them.
BOOL SectorsAt(const PathBeneath& path, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
               LPDWORD totalClusters) {
    struct statvfs volume {};
    if (!VolumeOfFolder(path, volume)) {
        return FALSE;
    }
    constexpr ULONGLONG kLargestSector = 4096;
    const ULONGLONG unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    const ULONGLONG sector = unit < kLargestSector ? unit : kLargestSector;
    if (sectorsPerCluster != nullptr) {
        *sectorsPerCluster = ClampedCount(unit / sector);
    }
    if (bytesPerSector != nullptr) {
        *bytesPerSector = static_cast<DWORD>(sector);
    }
    if (freeClusters != nullptr) {
        *freeClusters = ClampedCount(volume.f_bavail);
    }
    if (totalClusters != nullptr) {
        *totalClusters = ClampedCount(volume.f_blocks);
    }
    return TRUE;
}

}  // namespace platform::posix

using platform::posix::PathBeneath;

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    const PathBeneath path(directory == nullptr ? "." : directory);
    return path.Folder() >= 0 && platform::posix::FreeSpaceAt(path, freeBytesAvailable, totalBytes, totalFreeBytes);
}

BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    const PathBeneath path(rootPath == nullptr ? "." : rootPath);
    return path.Folder() >= 0 &&
           platform::posix::SectorsAt(path, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

// Of the volume's properties only what the system says of every file system: whether it
// takes writes, its serial number and the longest name.  Its label and the file system's
// name are not known here and are given empty.
BOOL GetVolumeInformationByHandleW(HANDLE file, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                                   LPDWORD maximumComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                                   DWORD fileSystemNameSize) {
    int descriptor = -1;
    if (!platform::posix::DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((volumeName != nullptr && volumeNameSize == 0) || (fileSystemName != nullptr && fileSystemNameSize == 0)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    struct statvfs volume {};
    if (fstatvfs(descriptor, &volume) != 0) {
        SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : platform::posix::ErrorFromErrno(errno));
        return FALSE;
    }
    if (volumeName != nullptr) {
        *volumeName = 0;
    }
    if (fileSystemName != nullptr) {
        *fileSystemName = 0;
    }
    if (serialNumber != nullptr) {
        *serialNumber = static_cast<DWORD>(volume.f_fsid);
    }
    if (maximumComponentLength != nullptr) {
        *maximumComponentLength = platform::posix::ClampedCount(volume.f_namemax);
    }
    if (fileSystemFlags != nullptr) {
        // ST_RDONLY also when the file system was turned read-only after it was mounted, as
        // the kernel does with a FAT it finds inconsistent.
        *fileSystemFlags = (volume.f_flag & ST_RDONLY) != 0 ? FILE_READ_ONLY_VOLUME : 0;
    }
    return TRUE;
}
