// Paths may use '\' as the separator, as the core builds them.  There are no drive letters:
// a camera's drive path here is a plain directory such as "/media/card/".
#include "platform/posix/NamedFiles.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/DescriptorHandles.h"
#include "platform/posix/DurableMove.h"
#include "platform/posix/ErrnoError.h"
#include "platform/posix/ShareModes.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {
namespace {

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

}  // namespace

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

bool KnownMoveFlags(DWORD flags) {
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
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

}  // namespace platform::posix

using platform::posix::PathBeneath;

// As CreateAt (NamedFiles.h) takes the arguments.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    const PathBeneath path(name);
    return path.Folder() < 0 ? INVALID_HANDLE_VALUE
                             : platform::posix::CreateAt(path, access, share, disposition, flags);
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
