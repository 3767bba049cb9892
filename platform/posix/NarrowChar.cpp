// Character steps in the locale's multibyte character set.
#include "platform/Platform.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace platform {

int NarrowCharLength(const char* p) {
    if (*p == 0) {
        return 0;
    }
    // Never look past the terminator: a character it cuts short is incomplete.
    const std::size_t available = strnlen(p, MB_LEN_MAX);
    std::mbstate_t state{};
    const std::size_t length = std::mbrlen(p, available, &state);
    if (length == static_cast<std::size_t>(-2)) {
        return -1;
    }
    if (length == static_cast<std::size_t>(-1) || length == 0) {
        return 1;  // a byte that starts no character of the set stands for itself
    }
    return static_cast<int>(length);
}

}  // namespace platform
