// What the volume that holds a folder tells of itself: its free space and its units, at a
// path already resolved to its folder and last name (PathBeneath), for the substitute's own
// GetDiskFreeSpaceExA and GetDiskFreeSpaceA and the card's.  Each sets the Windows error
// that the same failure gives there.
#pragma once

#include "platform/posix/PathBeneath.h"
#include "platform/posix/Win32Api.h"

namespace platform::posix {

BOOL FreeSpaceAt(const PathBeneath& path, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                 PULARGE_INTEGER totalFreeBytes);
BOOL SectorsAt(const PathBeneath& path, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
               LPDWORD totalClusters);

}  // namespace platform::posix
