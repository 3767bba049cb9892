#include "platform/posix/PathBeneath.h"

#include "platform/Platform.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

namespace platform::posix {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool IsDots(const char* name, std::size_t length) {
    return (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
}

// Whether '/'-separated `relative` holds a "." or ".." component; empty ones are skipped
// as the system skips them.
bool HoldsDots(const char* relative) {
    for (const char* part = relative; *part != '\0';) {
        const std::size_t length = std::strcspn(part, "/");
        if (IsDots(part, length)) {
            return true;
        }
        part += length;
        part += *part == '/' ? 1 : 0;
    }
    return false;
}

// The folders of `relative` beneath `drive`, one openat each, none of them a link nor on
// another file system than `drive`.  Empty, with errno set, when one is.
Descriptor OpenOneAtATime(int drive, char* relative) {
    struct stat driveInfo {};
    if (fstat(drive, &driveInfo) != 0) {
        return Descriptor();
    }
    Descriptor folder;
    for (char* part = relative; *part != '\0';) {
        const std::size_t length = std::strcspn(part, "/");
        char* next = part + length;
        const bool last = *next == '\0';
        *next = '\0';
        Descriptor opened;
        if (length != 0) {
            opened.Reset(openat(folder.IsEmpty() ? drive : folder.Get(), part, kFolderFlags | O_NOFOLLOW));
        }
        const int error = errno;
        if (!last) {
            *next = '/';
            ++next;
        }
        part = next;
        if (length == 0) {
            continue;
        }
        struct stat info {};
        const bool sameVolume = !opened.IsEmpty() && fstat(opened.Get(), &info) == 0 && info.st_dev == driveInfo.st_dev;
        if (!sameVolume) {
            errno = opened.IsEmpty() ? error : EXDEV;
            return Descriptor();
        }
        folder = std::move(opened);
    }
    return folder.IsEmpty() ? Descriptor(dup(drive)) : std::move(folder);
}

Descriptor OpenFoldersBeneath(int drive, char* relative, PathBeneath::Walk walk) {
#if defined(SYS_openat2)
    if (walk == PathBeneath::Walk::kBest) {
        open_how how{};
        how.flags = kFolderFlags;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
        const long folder = syscall(SYS_openat2, drive, relative, &how, sizeof how);
        if (folder >= 0) {
            return Descriptor(static_cast<int>(folder));
        }
        // Kernels before 5.6 lack the call; some sandboxes refuse calls they do not know.
        if (errno != ENOSYS && errno != EPERM && errno != E2BIG) {
            return Descriptor();
        }
    }
#else
    (void)walk;
#endif
    return OpenOneAtATime(drive, relative);
}

// The Windows error of a folder walk that failed with `error`: whatever kept the walk from a
// folder of the card (missing, no folder, a link, another file system) is a path not found.
DWORD WalkError(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == EXDEV ? ERROR_PATH_NOT_FOUND
                                                                                  : ErrorFromErrno(error);
}

}  // namespace

DWORD NameError(int error) { return error == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(error); }

Descriptor OpenFolderAsNamed(const char* path) {
    Descriptor folder(open(path, kFolderFlags));
    if (folder.IsEmpty()) {
        SetLastError(WalkError(errno));
    }
    return folder;
}

PathBeneath::PathBeneath(const char* path) {
    char text[PATH_MAX];
    if (!CopiedWithSlashes(path, text)) {
        return;
    }
    // text[0, end) is the folder (with its '/'), the rest the name.
    std::size_t end = std::strlen(text);
    while (end > 0 && text[end - 1] != '/') {
        --end;
    }
    SetName(text + end);
    text[end] = '\0';
    folder_ = OpenFolderAsNamed(end == 0 ? "." : text);
}

PathBeneath::PathBeneath(int drive, const char* below, Walk walk) {
    // A path from a root would leave the drive folder at once.
    if (below != nullptr && (*below == '\\' || *below == '/')) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }
    char text[PATH_MAX];
    if (!CopiedWithSlashes(below, text)) {
        return;
    }
    if (text[0] == '\0') {
        // The drive folder itself.
        SetName(text);
        folder_.Reset(dup(drive));
        if (folder_.IsEmpty()) {
            SetLastError(ErrorFromErrno(errno));
        }
        return;
    }
    // text holds the folders below the drive folder, then the name after the last '/'.
    beneath_ = true;
    char* lastSlash = std::strrchr(text, '/');
    SetName(lastSlash != nullptr ? lastSlash + 1 : text);
    *(lastSlash != nullptr ? lastSlash : text) = '\0';
    if (HoldsDots(text) || HoldsDots(name_)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }
    folder_ = text[0] == '\0' ? Descriptor(dup(drive)) : OpenFoldersBeneath(drive, text, walk);
    if (folder_.IsEmpty()) {
        SetLastError(WalkError(errno));
    }
}

bool PathBeneath::CopiedWithSlashes(const char* path, char (&text)[PATH_MAX]) {
    if (path == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::size_t length = std::strlen(path);
    if (length >= sizeof text) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::size_t total = 0;
    for (; total < length; ++total) {
        text[total] = path[total] == '\\' ? '/' : path[total];
    }
    // A trailing separator names the folder before it; the root keeps its own.
    while (total > 1 && text[total - 1] == '/') {
        --total;
    }
    text[total] = '\0';
    return true;
}

void PathBeneath::SetName(const char* name) {
    const char* given = *name != '\0' ? name : ".";
    std::memcpy(name_, given, std::strlen(given) + 1);
}

}  // namespace platform::posix
