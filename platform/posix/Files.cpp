// The file services of the package write: free space and sector size, create, write, read,
// flush, close, move and delete, over POSIX files.
//
// Paths may use '\' as the separator, as the core builds them.  Every name is opened, made,
// moved and removed relative to its folder's descriptor (PathBeneath), which for a path on a
// card (CardFiles.cpp) was reached below the card's drive folder without links.  There are
// no drive letters: a camera's drive path here is a plain directory such as "/media/card/".
// A HANDLE is the file descriptor, encoded so that neither null nor INVALID_HANDLE_VALUE
// can name a file.  Failures set the Windows error that the same failure gives there.
#include "platform/Platform.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/ErrnoError.h"
#include "platform/posix/Files.h"
#include "platform/posix/PathBeneath.h"
#include "platform/posix/ShareModes.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform::posix {

// Descriptor d is handle value (d + 1) * 4: never 0, never all bits set, and aligned
// like the handles Windows hands out.
HANDLE HandleFromDescriptor(int descriptor) {
    return reinterpret_cast<HANDLE>((static_cast<std::uintptr_t>(descriptor) + 1) * 4);
}

bool DescriptorFromHandle(HANDLE handle, int& descriptor) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % 4 != 0 || value / 4 - 1 > static_cast<std::uintptr_t>(INT_MAX)) {
        return false;
    }
    descriptor = static_cast<int>(value / 4 - 1);
    return true;
}

bool KnownMoveFlags(DWORD flags) {
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

bool StandardAttributesAsked(GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (level != GetFileExInfoStandard || information == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

namespace {

// A name that could not be opened in a folder that could: "file not found" for a missing
// name, as Windows tells it apart from a missing folder.
DWORD NameError(int error) { return error == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(error); }

int OpenFlags(DWORD access) {
    switch (access & (GENERIC_READ | GENERIC_WRITE)) {
    case GENERIC_READ | GENERIC_WRITE:
        return O_RDWR;
    case GENERIC_WRITE:
        return O_WRONLY;
    default:
        return O_RDONLY;
    }
}

// Reads through a descriptor opened without buffering come from the device, not from the
// page cache: O_DIRECT where the file system takes it.  Where it refuses (tmpfs before
// Linux 6.6, ramfs) the file's cached pages are dropped instead; the caller has synced the
// file before, so clean pages are all there is to drop, and a file system that lives in
// memory has no other copy to read from.  Either way the reads go on.
void BypassCache(int descriptor) {
    const int status = fcntl(descriptor, F_GETFL);
    if (status >= 0 && fcntl(descriptor, F_SETFL, status | O_DIRECT) == 0) {
        return;
    }
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
}

// A new folder entry (a rename into it) is on the device once the folder itself is synced.
// A file system that cannot sync a folder (EINVAL) has nothing more to write.
bool SyncFolder(int folder) {
    if (fsync(folder) != 0 && errno != EINVAL) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

// A moved file synced under its new name, `moved` being what stood at the old one.  On FAT a
// file's folder entry holds its first cluster and size, and a rename only marks the file
// for writing them there later: until then the card's entry under the new name still
// describes the file it replaced (whose clusters the move freed) or an empty one.  Syncing
// the file writes its entry; syncing the folder after it removes the old name.
bool SyncMoved(const PathBeneath& path, const struct stat& moved) {
    const Descriptor file(openat(path.Folder(), path.Name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.IsEmpty()) {
        SetLastError(NameError(errno));
        return false;
    }
    struct stat now {};
    if (fstat(file.Get(), &now) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    if (now.st_dev != moved.st_dev || now.st_ino != moved.st_ino) {
        // Another file took the name between the move and this look: the moved one is not there.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (fsync(file.Get()) != 0 && errno != EINVAL) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool SameFolder(const PathBeneath& first, const PathBeneath& second) {
    struct stat a {};
    struct stat b {};
    return fstat(first.Folder(), &a) == 0 && fstat(second.Folder(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// A move on the device: the moved file under its new name (a link has no content of its own
// to place), then the folder it went to and the one it left; last the rest of the volume's
// own bookkeeping, such as FAT's count of free clusters, which the move changed when it freed
// a replaced file's clusters and which the kernel would otherwise write a minute later.
bool SyncMove(const PathBeneath& from, const PathBeneath& to, const struct stat& moved) {
    if (!S_ISLNK(moved.st_mode) && !SyncMoved(to, moved)) {
        return false;
    }
    if (!SyncFolder(to.Folder()) || !(SameFolder(from, to) || SyncFolder(from.Folder()))) {
        return false;
    }
    if (syncfs(to.Folder()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

// Seconds and nanoseconds since 1970 as 100-nanosecond intervals since 1601.
FILETIME FileTime(const struct timespec& time) {
    constexpr ULONGLONG kEpochDifference = 116444736000000000ull;
    const ULONGLONG intervals = kEpochDifference + static_cast<ULONGLONG>(time.tv_sec) * 10000000ull +
                                static_cast<ULONGLONG>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(intervals & 0xFFFFFFFFu), static_cast<DWORD>(intervals >> 32)};
}

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

DWORD ClampedCount(ULONGLONG count) { return count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(count); }

// A link is what Windows calls a reparse point; anything but a file or a folder (a FIFO, a
// device) is a device to it.
DWORD AttributesOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) {
        return FILE_ATTRIBUTE_NORMAL;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return S_ISLNK(info.st_mode) ? FILE_ATTRIBUTE_REPARSE_POINT : FILE_ATTRIBUTE_DEVICE;
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

HANDLE CreateAt(const PathBeneath& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    const int base = OpenFlags(access) | O_CLOEXEC | (path.Beneath() ? O_NOFOLLOW : 0);
    // A file is only ever made or replaced as a regular file at the name itself: a link
    // there is not followed (it could point off the card), and opening does not wait for
    // a FIFO's reader; what was opened is checked below before anything is truncated.
    const int create = base | O_CREAT | O_NOFOLLOW | O_NONBLOCK;
    // An existing file opened for writing is held to the same: never through a link, never
    // waiting on a FIFO.
    const int existing = (access & GENERIC_WRITE) != 0 ? base | O_NOFOLLOW | O_NONBLOCK : base;
    constexpr mode_t kMode = 0666;  // narrowed by the umask, as for any new file

    Descriptor file;
    DWORD successError = ERROR_SUCCESS;
    bool replacing = false;
    switch (disposition) {
    case CREATE_NEW:
        file.Reset(openat(path.Folder(), path.Name(), create | O_EXCL, kMode));
        break;
    case CREATE_ALWAYS:
        // Created anew, or an existing file replaced; Windows tells the two apart by the
        // last error, and so does this.
        file.Reset(openat(path.Folder(), path.Name(), create | O_EXCL, kMode));
        if (file.IsEmpty() && errno == EEXIST) {
            file.Reset(openat(path.Folder(), path.Name(), create, kMode));
            successError = ERROR_ALREADY_EXISTS;
            replacing = true;
        }
        break;
    case OPEN_EXISTING:
        file.Reset(openat(path.Folder(), path.Name(), existing));
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (file.IsEmpty()) {
        SetLastError(NameError(errno));
        return INVALID_HANDLE_VALUE;
    }
    // A folder opens for reading on POSIX, never on Windows; and what is created or
    // replaced must be a regular file, not a FIFO or a device that took the name.
    struct stat info {};
    const bool creating = disposition != OPEN_EXISTING;
    if (fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode) || (creating && !S_ISREG(info.st_mode))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISREG(info.st_mode) && !ShareFile(file.Get(), path.Folder(), path.Name(), access, share)) {
        return INVALID_HANDLE_VALUE;
    }
    if (creating || existing != base) {
        const int status = fcntl(file.Get(), F_GETFL);
        if (status < 0 || fcntl(file.Get(), F_SETFL, status & ~O_NONBLOCK) != 0 ||
            (replacing && ftruncate(file.Get(), 0) != 0)) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
    }
    if ((flags & FILE_FLAG_NO_BUFFERING) != 0) {
        BypassCache(file.Get());
    }
    SetLastError(successError);
    return HandleFromDescriptor(file.Detach());
}

BOOL DeleteAt(const PathBeneath& path) {
    if (unlinkat(path.Folder(), path.Name(), 0) != 0) {
        SetLastError(NameError(errno));
        return FALSE;
    }
    return TRUE;
}

// A rename within one file system, which replaces a file at the new name in one step when
// asked to.  Copying across file systems and moves at the next start are not provided.
// With MOVEFILE_WRITE_THROUGH it returns once the move is on the device: the moved file is
// synced, then the folder that holds it (and the one it left), then the volume (SyncMove).
BOOL MoveAt(const PathBeneath& from, const PathBeneath& to, DWORD flags) {
    struct stat moving {};
    if (fstatat(from.Folder(), from.Name(), &moving, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastError(NameError(errno));
        return FALSE;
    }
    struct stat target {};
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && fstatat(to.Folder(), to.Name(), &target, AT_SYMLINK_NOFOLLOW) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (renameat(from.Folder(), from.Name(), to.Folder(), to.Name()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncMove(from, to, moving)) {
        return FALSE;
    }
    return TRUE;
}

BOOL AttributesAt(const PathBeneath& path, LPVOID information) {
    struct stat info {};
    if (fstatat(path.Folder(), path.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastError(NameError(errno));
        return FALSE;
    }
    auto& data = *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data = WIN32_FILE_ATTRIBUTE_DATA{};
    data.dwFileAttributes = AttributesOf(info);
    data.ftCreationTime = FileTime(info.st_mtim);
    data.ftLastAccessTime = FileTime(info.st_atim);
    data.ftLastWriteTime = FileTime(info.st_mtim);
    const auto size = static_cast<ULONGLONG>(info.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return TRUE;
}

}  // namespace platform::posix

using platform::posix::AttributesOf;
using platform::posix::ClampedCount;
using platform::posix::DescriptorFromHandle;
using platform::posix::ErrorFromErrno;
using platform::posix::FileTime;
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

// As CreateAt (Files.h) takes the arguments.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    const PathBeneath path(name);
    return path.Folder() < 0 ? INVALID_HANDLE_VALUE
                             : platform::posix::CreateAt(path, access, share, disposition, flags);
}

namespace {

// One read or one write: the count reports what the system moved, which may be less than
// asked (a full volume, a file-size limit, the end of the file); nothing is retried except
// a call that a signal interrupted before it moved anything.
template <typename Transfer>
BOOL TransferOnce(HANDLE file, LPDWORD transferred, LPOVERLAPPED overlapped, Transfer transfer) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ssize_t count = -1;
    do {
        count = transfer(descriptor);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        // A handle opened for the other direction only is open, and Windows refuses it access.
        const bool open = errno == EBADF && fcntl(descriptor, F_GETFD) >= 0;
        SetLastError(open ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        return FALSE;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(count);
    }
    return TRUE;
}

}  // namespace

// A write that the device took only in part is followed by one more write of the rest, to
// learn why: a device out of room fails it (Windows fails a write that does not fit with
// ERROR_DISK_FULL), with what was written counted; anything else (a file-size limit, a
// signal) leaves the short count, as one write reported it.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    DWORD first = 0;
    if (!TransferOnce(file, &first, overlapped, [&](int descriptor) { return ::write(descriptor, data, size); })) {
        if (written != nullptr) {
            *written = 0;
        }
        return FALSE;
    }
    if (written != nullptr) {
        *written = first;
    }
    if (first == 0 || first == size) {
        return TRUE;
    }
    const auto* rest = static_cast<const char*>(data) + first;
    DWORD more = 0;
    const bool wrote = TransferOnce(file, &more, nullptr, [&](int descriptor) {
        return ::write(descriptor, rest, size - first);
    }) != 0;
    if (!wrote && (errno == ENOSPC || errno == EDQUOT)) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (written != nullptr) {
        *written = first + more;
    }
    return TRUE;
}

// 0 bytes read at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    return TransferOnce(file, read, overlapped, [&](int descriptor) { return ::read(descriptor, buffer, size); });
}

BOOL FlushFileBuffers(HANDLE file) {
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(descriptor) != 0) {
        // EINVAL: a descriptor that cannot be synchronized, as Windows refuses a console.
        SetLastError(errno == EINVAL ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    int descriptor = -1;
    if (!DescriptorFromHandle(handle, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The descriptor is released whatever close reports; EINTR is no failure here.
    if (close(descriptor) != 0 && errno != EINTR) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR name) {
    const PathBeneath path(name);
    return path.Folder() >= 0 && platform::posix::DeleteAt(path);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    if (!platform::posix::KnownMoveFlags(flags)) {
        return FALSE;
    }
    const PathBeneath from(existing);
    if (from.Folder() < 0) {
        return FALSE;
    }
    const PathBeneath to(newName);
    return to.Folder() >= 0 && platform::posix::MoveAt(from, to, flags);
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (!platform::posix::StandardAttributesAsked(level, information)) {
        return FALSE;
    }
    const PathBeneath path(name);
    return path.Folder() >= 0 && platform::posix::AttributesAt(path, information);
}

// The volume's serial number is the file system's device number, the file's index its inode
// number: two handles of one file give the same pair, as on Windows.
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = AttributesOf(info);
    information->ftCreationTime = FileTime(info.st_mtim);
    information->ftLastAccessTime = FileTime(info.st_atim);
    information->ftLastWriteTime = FileTime(info.st_mtim);
    information->dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
    const auto size = static_cast<ULONGLONG>(info.st_size);
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    information->nNumberOfLinks = ClampedCount(info.st_nlink);
    const auto index = static_cast<ULONGLONG>(info.st_ino);
    information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    return TRUE;
}

// Of the volume's properties only what the system says of every file system: whether it
// takes writes, its serial number and the longest name.  Its label and the file system's
// name are not known here and are given empty.
BOOL GetVolumeInformationByHandleW(HANDLE file, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                                   LPDWORD maximumComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                                   DWORD fileSystemNameSize) {
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((volumeName != nullptr && volumeNameSize == 0) || (fileSystemName != nullptr && fileSystemNameSize == 0)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    struct statvfs volume {};
    if (fstatvfs(descriptor, &volume) != 0) {
        SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
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
        *maximumComponentLength = ClampedCount(volume.f_namemax);
    }
    if (fileSystemFlags != nullptr) {
        // ST_RDONLY also when the file system was turned read-only after it was mounted, as
        // the kernel does with a FAT it finds inconsistent.
        *fileSystemFlags = (volume.f_flag & ST_RDONLY) != 0 ? FILE_READ_ONLY_VOLUME : 0;
    }
    return TRUE;
}
