// The file services of the package write: free space and sector size, create, write, read,
// flush, close, move and delete, over POSIX files.
//
// Paths may use '\' as the separator, as the core builds them; it becomes '/'.  There are
// no drive letters: a camera's drive path here is a plain directory such as "/media/card/".
// A HANDLE is the file descriptor, encoded so that neither null nor INVALID_HANDLE_VALUE
// can name a file.  Failures set the Windows error that the same failure gives there.
#include "platform/Platform.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// A narrow path in POSIX form, in a fixed buffer.
class UnixPath {
public:
    explicit UnixPath(const char* path) {
        if (path == nullptr) {
            return;
        }
        std::size_t i = 0;
        for (; path[i] != '\0'; ++i) {
            if (i + 1 >= sizeof text_) {
                return;
            }
            text_[i] = path[i] == '\\' ? '/' : path[i];
        }
        text_[i] = '\0';
        valid_ = true;
    }
    UnixPath(const UnixPath&) = delete;
    UnixPath& operator=(const UnixPath&) = delete;

    bool Valid() const { return valid_; }
    const char* Text() const { return text_; }

private:
    char text_[PATH_MAX] = {};
    bool valid_ = false;
};

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EIO:
        return ERROR_WRITE_FAULT;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// The folder that holds `path` (a POSIX path shorter than PATH_MAX), "." for a bare name.
void ParentFolder(const char* path, char (&folder)[PATH_MAX]) {
    std::size_t length = 0;
    while (path[length] != '\0') {
        folder[length] = path[length];
        ++length;
    }
    while (length > 1 && folder[length - 1] == '/') {
        --length;
    }
    while (length > 0 && folder[length - 1] != '/') {
        --length;
    }
    if (length == 0) {
        folder[length++] = '.';
    }
    folder[length] = '\0';
}

// A name that does not exist: "file not found" when its folder exists, "path not found"
// when the folder is missing too, as Windows tells them apart.
DWORD MissingNameError(const char* path) {
    char folder[PATH_MAX];
    ParentFolder(path, folder);
    struct stat info {};
    return stat(folder, &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD ErrorForName(int error, const char* path) {
    return error == ENOENT ? MissingNameError(path) : ErrorFromErrno(error);
}

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
bool SyncParentFolder(const char* path) {
    char folder[PATH_MAX];
    ParentFolder(path, folder);
    const int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    const bool synced = fsync(descriptor) == 0 || errno == EINVAL;
    const int error = errno;
    close(descriptor);
    if (!synced) {
        SetLastError(ErrorFromErrno(error));
    }
    return synced;
}

// The volume that holds `directory`, which must name a folder; sets the Windows error.
bool VolumeOfFolder(LPCSTR directory, struct statvfs& volume) {
    const UnixPath path(directory == nullptr ? "." : directory);
    if (!path.Valid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    struct stat info {};
    if (stat(path.Text(), &info) != 0) {
        SetLastError(ErrorForName(errno, path.Text()));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    if (statvfs(path.Text(), &volume) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

DWORD ClampedCount(ULONGLONG count) { return count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(count); }

}  // namespace

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    struct statvfs volume {};
    if (!VolumeOfFolder(directory, volume)) {
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
BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    struct statvfs volume {};
    if (!VolumeOfFolder(rootPath, volume)) {
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

namespace {

// Share modes as far as they keep writers apart, with advisory locks (flock, one per open
// file description, so two handles of one process exclude each other as on Windows): a
// handle that lets nobody else write holds the file's lock exclusively, any other handle
// opened for writing holds it shared.  A second writer, or a handle that forbids writing
// while another one writes, fails with ERROR_SHARING_VIOLATION.  The lock is taken before
// anything is truncated and lasts until the handle is closed, also across a move of the
// file; a name that no longer holds the locked file (its holder has just moved it away) is
// treated as taken too.  Readers that allow writing take no lock.
bool ShareFile(int descriptor, const char* path, DWORD access, DWORD share) {
    int lock = 0;
    if ((share & FILE_SHARE_WRITE) == 0) {
        lock = LOCK_EX;
    } else if ((access & GENERIC_WRITE) != 0) {
        lock = LOCK_SH;
    }
    if (lock == 0) {
        return true;
    }
    int result = -1;
    do {
        result = flock(descriptor, lock | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        SetLastError(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(errno));
        return false;
    }
    struct stat held {};
    struct stat named {};
    if (fstat(descriptor, &held) != 0 || lstat(path, &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    return true;
}

}  // namespace

// Security attributes, attributes and templates have no POSIX counterpart and are ignored;
// share modes keep writers apart (ShareFile).  Of the flags only FILE_FLAG_NO_BUFFERING is
// honoured.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    const UnixPath path(name);
    if (!path.Valid()) {
        SetLastError(name == nullptr ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    const int base = OpenFlags(access) | O_CLOEXEC;
    // A file is only ever made or replaced as a regular file at the name itself: a link
    // there is not followed (it could point off the card), and opening does not wait for
    // a FIFO's reader; what was opened is checked below before anything is truncated.
    const int create = base | O_CREAT | O_NOFOLLOW | O_NONBLOCK;
    // An existing file opened for writing is held to the same: never through a link, never
    // waiting on a FIFO.
    const int existing = (access & GENERIC_WRITE) != 0 ? base | O_NOFOLLOW | O_NONBLOCK : base;
    constexpr mode_t kMode = 0666;  // narrowed by the umask, as for any new file

    int descriptor = -1;
    DWORD successError = ERROR_SUCCESS;
    bool replacing = false;
    switch (disposition) {
    case CREATE_NEW:
        descriptor = open(path.Text(), create | O_EXCL, kMode);
        break;
    case CREATE_ALWAYS:
        // Created anew, or an existing file replaced; Windows tells the two apart by the
        // last error, and so does this.
        descriptor = open(path.Text(), create | O_EXCL, kMode);
        if (descriptor < 0 && errno == EEXIST) {
            descriptor = open(path.Text(), create, kMode);
            successError = ERROR_ALREADY_EXISTS;
            replacing = true;
        }
        break;
    case OPEN_EXISTING:
        descriptor = open(path.Text(), existing);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (descriptor < 0) {
        SetLastError(ErrorForName(errno, path.Text()));
        return INVALID_HANDLE_VALUE;
    }
    // A folder opens for reading on POSIX, never on Windows; and what is created or
    // replaced must be a regular file, not a FIFO or a device that took the name.
    struct stat info {};
    const bool creating = disposition != OPEN_EXISTING;
    if (fstat(descriptor, &info) != 0 || S_ISDIR(info.st_mode) || (creating && !S_ISREG(info.st_mode))) {
        close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISREG(info.st_mode) && !ShareFile(descriptor, path.Text(), access, share)) {
        const DWORD error = GetLastError();
        close(descriptor);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (creating || existing != base) {
        const int status = fcntl(descriptor, F_GETFL);
        if (status < 0 || fcntl(descriptor, F_SETFL, status & ~O_NONBLOCK) != 0 ||
            (replacing && ftruncate(descriptor, 0) != 0)) {
            const DWORD error = ErrorFromErrno(errno);
            close(descriptor);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    if ((flags & FILE_FLAG_NO_BUFFERING) != 0) {
        BypassCache(descriptor);
    }
    SetLastError(successError);
    return HandleFromDescriptor(descriptor);
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

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return TransferOnce(file, written, overlapped, [&](int descriptor) { return ::write(descriptor, data, size); });
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
    const UnixPath path(name);
    if (!path.Valid()) {
        SetLastError(name == nullptr ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    if (unlink(path.Text()) != 0) {
        SetLastError(ErrorForName(errno, path.Text()));
        return FALSE;
    }
    return TRUE;
}

// A rename within one file system, which replaces a file at the new name in one step when
// asked to.  Copying across file systems and moves at the next start are not provided.
// With MOVEFILE_WRITE_THROUGH it returns once the new name is on the device: the folder
// that holds it is synced.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const UnixPath from(existing);
    const UnixPath to(newName);
    if (!from.Valid() || !to.Valid()) {
        SetLastError(existing == nullptr || newName == nullptr ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    struct stat info {};
    if (lstat(from.Text(), &info) != 0) {
        SetLastError(ErrorForName(errno, from.Text()));
        return FALSE;
    }
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && lstat(to.Text(), &info) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (rename(from.Text(), to.Text()) != 0) {
        // The source was there a moment ago: a missing name is the target's folder.
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncParentFolder(to.Text())) {
        return FALSE;
    }
    return TRUE;
}
