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

}  // namespace platform
