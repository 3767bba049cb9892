// The file services of the package write: free space, create, write, flush, close and
// delete, over POSIX files.
//
// Paths may use '\' as the separator, as the core builds them; it becomes '/'.  There are
// no drive letters: a camera's drive path here is a plain directory such as "/media/card/".
// A HANDLE is the file descriptor, encoded so that neither null nor INVALID_HANDLE_VALUE
// can name a file.  Failures set the Windows error that the same failure gives there.
#include "platform/Platform.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
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

// A name that does not exist: "file not found" when its folder exists, "path not found"
// when the folder is missing too, as Windows tells them apart.
DWORD MissingNameError(const char* path) {
    char folder[PATH_MAX];
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

}  // namespace

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    const UnixPath path(directory == nullptr ? "." : directory);
    if (!path.Valid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    struct stat info {};
    if (stat(path.Text(), &info) != 0) {
        SetLastError(ErrorForName(errno, path.Text()));
        return FALSE;
    }
    if (!S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    struct statvfs volume {};
    if (statvfs(path.Text(), &volume) != 0) {
        SetLastError(ErrorFromErrno(errno));
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

// Share modes, security attributes, attributes and templates have no POSIX counterpart and
// are ignored: in particular another process may open the file for writing meanwhile.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*templateFile*/) {
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
        descriptor = open(path.Text(), base);
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
    if (creating) {
        const int flags = fcntl(descriptor, F_GETFL);
        if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
            (replacing && ftruncate(descriptor, 0) != 0)) {
            const DWORD error = ErrorFromErrno(errno);
            close(descriptor);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(successError);
    return HandleFromDescriptor(descriptor);
}

// One write: the count reports what the system took, which may be less than asked (a
// full volume, a file-size limit); nothing is retried except a write that a signal
// interrupted before it wrote anything.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (written != nullptr) {
        *written = 0;
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
        count = write(descriptor, data, size);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (written != nullptr) {
        *written = static_cast<DWORD>(count);
    }
    return TRUE;
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
