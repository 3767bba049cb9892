// Character steps in the ANSI code page, whose characters take one or two bytes.
#include "platform/Platform.h"

namespace platform {

int NarrowCharLength(const char* p) {
    if (*p == 0) {
        return 0;
    }
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
        return p[1] == 0 ? -1 : 2;
    }
    return 1;
}

}  // namespace platform
