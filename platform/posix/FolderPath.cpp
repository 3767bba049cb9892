// Absolute folder paths on POSIX: from the root, ending in '/'.  A backslash is an ordinary
// character of a POSIX name ("My\Card"), while the file services take the core's '\' as a
// separator: a drive path holding one would name another folder, so it is refused.
#include "platform/Platform.h"

namespace platform {

bool IsAbsoluteFolderPath(const char* path) {
    if (path == nullptr || *path != '/') {
        return false;
    }
    // By characters, so that the byte of a multibyte character never reads as a separator.
    bool endsInSeparator = false;
    for (const char* p = path; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            return false;
        }
        if (step == 1 && *p == '\\') {
            return false;
        }
        endsInSeparator = step == 1 && *p == '/';
        p += step;
    }
    return endsInSeparator;
}

UINT DriveNameLength(const char* drivePath) {
    UINT characters = 0;
    UINT beforeSeparator = 0;
    for (const char* p = drivePath; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            break;
        }
        ++characters;
        if (step != 1 || *p != '/') {
            beforeSeparator = characters;
        }
        p += step;
    }
    // The root has no name but its separator.
    return beforeSeparator == 0 ? (characters == 0 ? 0 : 1) : beforeSeparator;
}

}  // namespace platform
