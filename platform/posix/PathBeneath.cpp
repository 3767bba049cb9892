#include "platform/posix/PathBeneath.h"

#include "platform/CardBounds.h"
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

PathBeneath::PathBeneath(const char* path, Walk walk) {
    if (path == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }
    const std::size_t length = std::strlen(path);
    if (length >= sizeof name_) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    const CardPlace place = PlaceOf(path);
    if (place.kind == CardPlace::kOffCard) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }
    char text[PATH_MAX];
    std::memcpy(text, path, length + 1);

    // '\' separates as on Windows, except in the card's drive folder, whose bytes are named
    // as the system has them.
    const std::size_t driveLength = place.kind == CardPlace::kOnCard ? place.driveLength : 0;
    for (char* p = text + driveLength; *p != '\0'; ++p) {
        *p = *p == '\\' ? '/' : *p;
    }
    std::size_t total = length;
    while (total > 1 && text[total - 1] == '/') {
        text[--total] = '\0';
    }
    // Beneath the drive folder when something is named below it; the drive folder itself,
    // like an ordinary path, is a name in the folder above, opened as named.
    beneath_ = place.kind == CardPlace::kOnCard && total > driveLength;
    std::size_t end = beneath_ ? driveLength : total;
    if (!beneath_) {
        while (end > 0 && text[end - 1] != '/') {
            --end;
        }
        if (end == 0 && text[0] == '/') {
            end = 1;
        }
    }
    // text[0, end) is the drive folder (with its '/'), text[end, total) the rest, whose last
    // component is the name.
    char* rest = text + end;
    char* lastSlash = std::strrchr(rest, '/');
    char* name = lastSlash != nullptr ? lastSlash + 1 : rest;
    std::memcpy(name_, *name != '\0' ? name : ".", (*name != '\0' ? std::strlen(name) : 1) + 1);
    if (lastSlash != nullptr) {
        *lastSlash = '\0';
    } else {
        *rest = '\0';
    }
    if (beneath_ && (HoldsDots(rest) || HoldsDots(name_))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return;
    }

    char drivePath[PATH_MAX];
    std::memcpy(drivePath, text, end);
    drivePath[end] = '\0';
    Descriptor drive(open(end == 0 ? "." : drivePath, kFolderFlags));
    if (drive.IsEmpty()) {
        SetLastError(WalkError(errno));
        return;
    }
    if (*rest == '\0') {
        folder_ = std::move(drive);
        return;
    }
    folder_ = OpenFoldersBeneath(drive.Get(), rest, walk);
    if (folder_.IsEmpty()) {
        SetLastError(WalkError(errno));
    }
}

}  // namespace platform::posix
