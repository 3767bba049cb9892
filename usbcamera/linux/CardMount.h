// Where a camera's memory card is mounted, as the drive path the camera reports.
#pragma once

#include <string>
#include <vector>

#include "usbcamera/linux/UsbDisks.h"

namespace usbcamera {

// The drive path of a camera with these volumes: the folder its card is mounted on,
// followed by "/".  A card that is present but not mounted yet is waited for, up to
// `waitMs`, then handed to udisksctl (when on the PATH) as a file manager would.  A card
// that is not there (no medium, or never mounted) gets the path of its device node
// followed by "/" ("/dev/sdb1/"): absolute, but no folder, so the utility finds no usable
// card there.
std::string CardDrivePath(const std::vector<Volume>& volumes, int waitMs);

}  // namespace usbcamera
