// Absolute folder paths on POSIX: from the root, ending in a separator ('/' or '\', which
// the file services take as '/').
#include "platform/Platform.h"

namespace platform {

bool IsAbsoluteFolderPath(const char* path) {
    if (path == nullptr || (*path != '/' && *path != '\\')) {
        return false;
    }
    // By characters, so that the byte of a multibyte character never reads as a separator.
    bool endsInSeparator = false;
    for (const char* p = path; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            return false;
        }
        endsInSeparator = step == 1 && (*p == '/' || *p == '\\');
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
