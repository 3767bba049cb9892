// The folders between a card's drive folder and the last name of a path below it, each
// opened without following a reparse point and held while a card's file service relies on
// them.
//
// Windows resolves a path anew in every call: holding each folder (with data access, so
// that the share mode counts, and without FILE_SHARE_DELETE) keeps it from being moved,
// removed or replaced by a link between the check here and the service's own call, which
// then reaches the same folders.  A folder that is a reparse point (a junction, a symbolic
// link, a mounted volume) is refused, by its handle and by its name: Wine opens the target
// of a host's symbolic link or mount even with FILE_FLAG_OPEN_REPARSE_POINT and tells the
// reparse point only by the name.  What a held, empty folder cannot be kept from is being
// made a reparse point in place (that takes only FILE_WRITE_ATTRIBUTES, which no share mode
// covers); card file systems (FAT, exFAT) have no reparse points at all.
#pragma once

#include "platform/Platform.h"
#include "platform/win32/Handles.h"

#include <cstddef>

namespace platform::win32 {

class HeldFolders {
public:
    // What the path's last component is: a name the service acts on (not opened here), or a
    // folder the service measures (the free-space queries), held and checked like the others.
    enum class Last { kName, kFolder };

    // Holds the folders of `below` a card's drive folder `drive` (which ends in a separator).
    // On failure Held() is false and the thread's last error says why: ERROR_PATH_NOT_FOUND
    // for a path that begins with a separator, for a "." or ".." and for a folder that is
    // missing, no folder or a reparse point; a last folder that is missing or no folder
    // fails as Windows fails it (ERROR_FILE_NOT_FOUND, ERROR_DIRECTORY).
    HeldFolders(LPCSTR drive, LPCSTR below, Last last);
    HeldFolders(const HeldFolders&) = delete;
    HeldFolders& operator=(const HeldFolders&) = delete;

    bool Held() const { return held_; }
    // The drive folder and the path below it: what the service's own call is given, once the
    // folders are held.
    LPCSTR Path() const { return path_; }

private:
    void HoldBelow(std::size_t driveLength, Last last);
    bool Hold(char* prefix, bool last);

    // A path shorter than MAX_PATH bytes has at most this many components, each of one byte
    // or more after a separator.
    static constexpr int kMostFolders = MAX_PATH / 2;
    char path_[MAX_PATH] = {};
    // Closed as the holder goes, the last held first; the caller's last error is kept.
    KernelHandle folders_[kMostFolders];
    int count_ = 0;
    bool held_ = false;
};

}  // namespace platform::win32
