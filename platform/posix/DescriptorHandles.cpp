#include "platform/posix/DescriptorHandles.h"

#include <climits>
#include <cstdint>

namespace platform::posix {

// Descriptor d is handle value (d + 1) * 4: never 0, never all bits set, and aligned
// like the handles Windows hands out.
HANDLE HandleFromDescriptor(int descriptor) {
    return reinterpret_cast<HANDLE>((static_cast<std::uintptr_t>(descriptor) + 1) * 4);
}

bool DescriptorFromHandle(HANDLE handle, int& descriptor) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % 4 != 0 || value / 4 - 1 > static_cast<std::uintptr_t>(INT_MAX)) {
        return false;
    }
    descriptor = static_cast<int>(value / 4 - 1);
    return true;
}

}  // namespace platform::posix
