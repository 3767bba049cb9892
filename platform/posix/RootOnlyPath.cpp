#include "platform/posix/RootOnlyPath.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// O_NONBLOCK: should a FIFO take the file's place after all, the open does not wait on it.
constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// No one but root can remove or replace a name in the folder: it is root's, and writable by
// no one else or sticky.
bool FolderIsRoots(const struct stat& status) {
    return S_ISDIR(status.st_mode) && status.st_uid == 0 &&
           ((status.st_mode & kOthersWrite) == 0 || (status.st_mode & S_ISVTX) != 0);
}

// No one but root can make a new name in a folder that FolderIsRoots: a sticky folder lets
// anyone make one.
bool OnlyRootMakesNames(const struct stat& folder) { return (folder.st_mode & kOthersWrite) == 0; }

bool FileIsRoots(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_uid == 0 && (status.st_mode & kOthersWrite) == 0;
}

// The next name at the front of `rest`, taken off it; what stays begins with the slash that
// ended the name (a path ending in "/" names a folder).  Empty when no name is left.
std::string TakeName(std::string& rest) {
    const auto begin = rest.find_first_not_of('/');
    if (begin == std::string::npos) {
        rest.clear();
        return {};
    }
    const auto end = rest.find('/', begin);
    std::string name = rest.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    rest.erase(0, end);
    return name;
}

// `folder` opened from `at` and judged by its descriptor, with its status in `status`.
bool OpenFolder(int at, const char* name, Descriptor& folder, struct stat& status) {
    Descriptor opened(openat(at, name, kFolderFlags));
    if (opened.IsEmpty() || fstat(opened.Get(), &status) != 0 || !FolderIsRoots(status)) {
        return false;
    }
    folder = std::move(opened);
    return true;
}

}  // namespace

RootOnlyPath::RootOnlyPath(const std::string& path) { outcome_ = Walk(path); }

RootOnlyPath::Outcome RootOnlyPath::Walk(std::string rest) {
    if (rest.empty()) {
        return Outcome::kMissing;
    }
    if (rest[0] != '/') {
        char working[PATH_MAX];
        if (getcwd(working, sizeof working) == nullptr || working[0] != '/') {
            return Outcome::kRefused;
        }
        rest = std::string(working) + "/" + rest;
    }
    Descriptor folder;
    struct stat status {};
    if (!OpenFolder(AT_FDCWD, "/", folder, status)) {
        return Outcome::kRefused;
    }
    int links = 0;
    for (;;) {
        const std::string name = TakeName(rest);
        if (name.empty()) {
            return Outcome::kMissing;  // the path names a folder
        }
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            // The parent of the folder actually reached, as the system takes "..", judged too.
            if (!OpenFolder(folder.Get(), "..", folder, status)) {
                return Outcome::kRefused;
            }
            continue;
        }
        struct stat named {};
        if (fstatat(folder.Get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
            return errno == ENOENT && OnlyRootMakesNames(status) ? Outcome::kMissing : Outcome::kRefused;
        }
        if (named.st_uid != 0) {
            return Outcome::kRefused;
        }
        if (S_ISLNK(named.st_mode)) {
            // Root's, in a folder in which no one else can replace it: its target is read as
            // it was judged, and walked in its place.
            char target[PATH_MAX];
            const ssize_t length = readlinkat(folder.Get(), name.c_str(), target, sizeof target);
            if (++links > kMaxLinks || length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
                return Outcome::kRefused;
            }
            rest.insert(0, target, static_cast<std::size_t>(length));
            if (target[0] == '/' && !OpenFolder(AT_FDCWD, "/", folder, status)) {
                return Outcome::kRefused;
            }
            continue;
        }
        if (!rest.empty()) {
            if (!S_ISDIR(named.st_mode)) {
                return Outcome::kMissing;
            }
            if (!OpenFolder(folder.Get(), name.c_str(), folder, status)) {
                return Outcome::kRefused;
            }
            continue;
        }
        // A device or FIFO is never opened: opening one may act on it, or wait for ever.
        if (!S_ISREG(named.st_mode)) {
            return Outcome::kMissing;
        }
        Descriptor file(openat(folder.Get(), name.c_str(), kFileFlags));
        struct stat opened {};
        if (file.IsEmpty() || fstat(file.Get(), &opened) != 0 || !FileIsRoots(opened)) {
            return Outcome::kRefused;
        }
        folder_ = std::move(folder);
        file_ = std::move(file);
        name_ = name;
        return Outcome::kOpened;
    }
}

}  // namespace platform::posix
