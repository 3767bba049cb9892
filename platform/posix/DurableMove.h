// A move made durable: what MOVEFILE_WRITE_THROUGH asks of a rename, that it is on the
// device when the call returns, also on a FAT card whose folder entries the kernel writes
// late.
#pragma once

#include "platform/posix/PathBeneath.h"

#include <sys/stat.h>

namespace platform::posix {

// After the rename of `from` to `to`, `moved` being what stood at `from`: the moved file
// synced under its new name (a link has no content of its own to place), then the folder it
// went to and the one it left; last the rest of the volume's own bookkeeping, such as FAT's
// count of free clusters, which the move changed when it freed a replaced file's clusters
// and which the kernel would otherwise write a minute later.  False with the Windows error
// set.
bool SyncMove(const PathBeneath& from, const PathBeneath& to, const struct stat& moved);

}  // namespace platform::posix
