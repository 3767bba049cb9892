// A narrow path of the file services, opened up to the folder that holds its last name.
//
// On a card the core hands the card, whose drive folder is open, and the path below it, the
// program's own names separated by '\':
//
//     card: /media/user/CARD/    below: Current\Firmware\R5610200.fw
//
// What lies below the drive folder is resolved one folder at a time, never through a
// symbolic link, never onto another file system and never by "." or "..", so that nothing
// on the card can send a file off it; a path below that begins with a separator is refused.
// Callers treat the last name the same way (Beneath(): O_NOFOLLOW).  An ordinary path of the
// substitute's own Win32 services is the system's business: '\' separates as '/' does, and
// its folder is opened as named.
#pragma once

#include "platform/posix/Descriptor.h"
#include "platform/posix/Win32Api.h"

#include <climits>

namespace platform::posix {

// The Windows error of a last name that could not be reached in the folder a PathBeneath
// opened: "file not found" for a missing name, as Windows tells it apart from a missing
// folder.
DWORD NameError(int error);

// The folder at `path`, opened as named, links and all (the drive folder of a card, or the
// folder of an ordinary path); empty with the thread's last error set when it cannot be:
// ERROR_PATH_NOT_FOUND for one that is missing or no folder.
Descriptor OpenFolderAsNamed(const char* path);

class PathBeneath {
public:
    // How the folders below a drive folder are resolved: with one openat2 where the kernel
    // has it, else one openat per folder; tests ask for the second where both exist.
    enum class Walk { kBest, kOneAtATime };

    // An ordinary path.  On failure Folder() is -1 and the thread's last error says why.
    explicit PathBeneath(const char* path);
    // `below` the drive folder open at `drive`; an empty path is the drive folder itself.  On
    // failure Folder() is -1 and the thread's last error says why: ERROR_PATH_NOT_FOUND for a
    // folder that is missing, no folder, a link or another file system, for "." or ".." and
    // for a path that begins with a separator.
    PathBeneath(int drive, const char* below, Walk walk = Walk::kBest);

    int Folder() const { return folder_.Get(); }
    // The last name: never empty ("." for a root or the drive folder), free of separators.
    const char* Name() const { return name_; }
    // Whether the last name lies below a drive folder, and so is never followed as a link.
    bool Beneath() const { return beneath_; }

private:
    // `path` into `text` with '\' made '/' and trailing separators dropped (the root's
    // kept); false with the last error set when there is none or it is too long.
    static bool CopiedWithSlashes(const char* path, char (&text)[PATH_MAX]);
    // `name`, or "." for an empty one.
    void SetName(const char* name);

    Descriptor folder_;
    bool beneath_ = false;
    char name_[PATH_MAX] = {};
};

}  // namespace platform::posix
