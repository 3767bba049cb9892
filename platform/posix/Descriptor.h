// The owner of one open file descriptor (platform/ScopedHandle.h).  Header-only, so that the
// camera components, which do not link the POSIX layer, use the same owner.
#pragma once

#include "platform/ScopedHandle.h"
#include "platform/posix/KeptErrno.h"

#include <cerrno>
#include <unistd.h>

namespace platform::posix {

struct DescriptorKind {
    using Type = int;
    using KeptError = KeptErrno;
    static Type Invalid() noexcept { return -1; }
    // The descriptor is released whatever close reports; EINTR is no failure here.
    static bool Close(Type descriptor) noexcept { return close(descriptor) == 0 || errno == EINTR; }
};

using Descriptor = ScopedHandle<DescriptorKind>;

}  // namespace platform::posix
