#include "platform/posix/DurableMove.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::posix {
namespace {

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

}  // namespace

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

}  // namespace platform::posix
