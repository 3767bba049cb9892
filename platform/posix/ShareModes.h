// Windows share modes on POSIX, as far as they keep writers apart.
#pragma once

#include "platform/posix/Win32Api.h"

namespace platform::posix {

// Holds the regular file open at `descriptor`, found as `name` in the folder `folder`, as a
// handle opened for `access` with `share` holds it on Windows: a handle that lets nobody
// else write holds the file's advisory lock (flock, one per open file description, so two
// handles of one process exclude each other as on Windows) exclusively, any other handle
// opened for writing holds it shared.  A second writer, or a handle that forbids writing
// while another one writes, fails with ERROR_SHARING_VIOLATION.  The lock is taken before
// anything is truncated and lasts until the handle is closed, also across a move of the
// file; a name that no longer holds the locked file (its holder has just moved it away) is
// taken too.  Readers that allow writing take no lock.  False with the last error set.
bool ShareFile(int descriptor, int folder, const char* name, DWORD access, DWORD share);

}  // namespace platform::posix
