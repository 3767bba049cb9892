// A file opened the way a process running as root may trust it: as only root can change it.
//
// Resolving a name and judging what it named are two steps, and another user who owns a
// link or a folder on the way can change the answer in between.  So the path is walked one
// name at a time from "/" (a relative path from the working folder's name), no name is
// ever followed by the system, and each folder is judged by the descriptor that was
// opened: root's, and writable by no one else.  A sticky folder (/tmp) is judged root's
// alone all the same, as no one else can remove or replace root's names in it; a name that
// is missing there is refused, as anyone could make it.  A symbolic link is followed only
// when it is root's and lies in such a folder (Debian's merged /usr makes /lib a link to
// usr/lib), its target walked the same way, at most kMaxLinks links in all.  The file at
// the end must be a regular file, root's and writable by no one else; it is opened without
// following a link, and never opened at all when it is a device or FIFO.
#pragma once

#include "platform/posix/Descriptor.h"

#include <string>
#include <utility>

namespace platform::posix {

class RootOnlyPath {
public:
    enum class Outcome {
        kOpened,   // Folder() and File() are open, both as only root can change them
        kMissing,  // no regular file of that name, in folders only root can change
        kRefused,  // someone other than root could change the file or its way there
    };

    // As many links as the kernel follows in one path (Linux's MAXSYMLINKS).
    static constexpr int kMaxLinks = 40;

    explicit RootOnlyPath(const std::string& path);

    Outcome Result() const { return outcome_; }
    // The folder that holds the file, open for reading; -1 unless opened.
    int Folder() const { return folder_.Get(); }
    // The file, open for reading; -1 unless opened.
    int File() const { return file_.Get(); }
    // The file's own name in Folder(), links resolved.
    const std::string& Name() const { return name_; }
    // Hands the folder's descriptor over; Folder() is -1 afterwards.
    Descriptor TakeFolder() { return std::move(folder_); }

private:
    Outcome Walk(std::string path);

    Descriptor folder_;
    Descriptor file_;
    std::string name_;
    Outcome outcome_ = Outcome::kRefused;
};

}  // namespace platform::posix
