// The mount table as /proc/self/mountinfo gives it: where a block device is mounted.
#pragma once

#include <string>

namespace usbcamera {

struct MountPoint {
    std::string path;       // the folder, octal escapes decoded ("/media/MY CARD")
    bool readOnly = false;  // the mount or its file system is read-only
};

// The mount of the whole file system on device `number` ("8:1") in the table `text`: only a
// mount of the file system's root (a bind mount of a folder inside it is not the card) that
// no later mount on the same point covers; a read-write one where there are several.  False
// when there is none.
bool FindMount(const std::string& text, const std::string& number, MountPoint& found);

// A mountinfo field with its octal escapes ("\040" for a space) decoded.
std::string DecodeField(const std::string& field);

}  // namespace usbcamera
