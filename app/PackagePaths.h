// Where the package lands below a card's drive folder: the package folder "Current\Firmware\",
// the package in it and its staging file beside it, in the narrow form that the card's file
// services take.
#pragma once

#include "text/TextString.h"

class PackagePaths {
public:
    // The package named `packageName`.  Built wide and made narrow as the drive path is
    // (NarrowPath.h), so that a name's characters are judged as the drive's; raises
    // _com_error when a path cannot be built or converted.
    explicit PackagePaths(const char* packageName);
    PackagePaths(const PackagePaths&) = delete;
    PackagePaths& operator=(const PackagePaths&) = delete;

    // The folder probed for free space, whose volume's sector size serves the read-back.
    const char* Folder() const { return folder_.Text(); }
    const char* Package() const { return package_.Text(); }
    // Beside the package: a name that differs from the package's whatever that is, that no
    // camera acts on, and that FAT short and long names alike can hold.
    const char* Staging() const { return staging_.Text(); }

private:
    TextString folder_;
    TextString package_;
    TextString staging_;
};
