// Where the package lands on the camera's card: the drive path the component reports,
// checked before anything is built on it, and below its drive folder the package folder
// "Current\Firmware\", the package and its staging file, in the narrow form that the card's
// file services take.
#pragma once

#include "com/WideStringHandle.h"
#include "text/TextString.h"

class CardLayout {
public:
    // Raises _com_error unless `drivePath` converts exactly (no character replaced by a
    // look-alike or a default character, no zero inside) and names a folder absolutely,
    // ending in a separator, with no "." or ".." component, so that "Current\Firmware\..."
    // appended to it stays on the card.
    static void CheckDrivePath(const WideStringHandle& drivePath);

    // The paths on the card at `drivePath` (checked as above), the package named
    // `packageName`.  Raises _com_error when a path cannot be built or converted.
    CardLayout(const WideStringHandle& drivePath, const char* packageName);
    CardLayout(const CardLayout&) = delete;
    CardLayout& operator=(const CardLayout&) = delete;

    // The drive path, narrow: the card's drive folder, which the card is opened on.
    const char* Drive() const { return drive_.Text(); }
    // Below the drive folder, "Current\Firmware\": the folder probed for free space, whose
    // volume's sector size serves the read-back.
    const char* Folder() const { return folder_.Text(); }
    const char* Package() const { return package_.Text(); }
    // Beside the package: a name that differs from the package's whatever that is, that no
    // camera acts on, and that FAT short and long names alike can hold.
    const char* Staging() const { return staging_.Text(); }

private:
    TextString drive_;
    TextString folder_;
    TextString package_;
    TextString staging_;
};
