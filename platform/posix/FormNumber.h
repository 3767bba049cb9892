// The width or precision of a printf form, as wvsprintfA's conversions and FormatMessageA's
// inserts write them: decimal digits only.
#pragma once

namespace platform::posix {

// Reads the digits at `p` and leaves `p` past them.  The value stops growing beyond any
// output's size, so a long run of digits cannot overflow it.
inline int ReadFormNumber(const char*& p) {
    int value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 100000) {
            value = value * 10 + (*p - '0');
        }
        ++p;
    }
    return value;
}

}  // namespace platform::posix
