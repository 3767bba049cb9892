// A narrow path of the file services, opened up to the folder that holds its last name.
//
// Within the card's bounds (platform/CardBounds.h) the core hands the drive folder that the
// camera component reports and the path below it, the program's own names separated by '\':
//
//     /media/user/CARD/Current\Firmware\R5610200.fw
//     '---- drive ----''-------- beneath ---------'
//
// The drive folder is opened as named, links and all: where the system mounts the card is
// the system's business.  What lies beneath it is resolved one folder at a time, never
// through a symbolic link, never onto another file system and never by "." or "..", so that
// nothing on the card can send a file off it.  Callers treat the last name the same way
// (Beneath(): O_NOFOLLOW).  A path off the card while bounds are declared is refused.  With
// no bounds declared a path is an ordinary one ('\' separating as '/' does), its folder
// opened as named.
#pragma once

#include "platform/posix/Descriptor.h"

#include <climits>

namespace platform::posix {

class PathBeneath {
public:
    // How the folders beneath the drive folder are resolved: with one openat2 where the
    // kernel has it, else one openat per folder; tests ask for the second where both exist.
    enum class Walk { kBest, kOneAtATime };

    // On failure Folder() is -1 and the thread's last error says why: ERROR_PATH_NOT_FOUND
    // for a folder that is missing, no folder, a link or another file system, and for a path
    // off the card.
    explicit PathBeneath(const char* path, Walk walk = Walk::kBest);
    PathBeneath(const PathBeneath&) = delete;
    PathBeneath& operator=(const PathBeneath&) = delete;

    int Folder() const { return folder_.Get(); }
    // The last name: never empty ("." for a root), free of separators.
    const char* Name() const { return name_; }
    // Whether the last name lies beneath a drive folder, and so is never followed as a link.
    bool Beneath() const { return beneath_; }

private:
    Descriptor folder_;
    bool beneath_ = false;
    char name_[PATH_MAX] = {};
};

}  // namespace platform::posix
