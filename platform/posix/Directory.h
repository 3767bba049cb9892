// The owner of one open directory stream (platform/ScopedHandle.h).  Header-only, so that the
// camera components, which do not link the POSIX layer, use the same owner.
#pragma once

#include "platform/ScopedHandle.h"
#include "platform/posix/KeptErrno.h"

#include <dirent.h>

namespace platform::posix {

struct DirectoryKind {
    using Type = DIR*;
    using KeptError = KeptErrno;
    static Type Invalid() noexcept { return nullptr; }
    static bool Close(Type stream) noexcept { return closedir(stream) == 0; }
};

using Directory = ScopedHandle<DirectoryKind>;

}  // namespace platform::posix
