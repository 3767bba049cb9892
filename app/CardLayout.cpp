#include "app/CardLayout.h"

#include "app/NarrowPath.h"
#include "com/ComError.h"
#include "platform/Platform.h"

namespace {

// True when a component of `path` is "." or "..", which would lead the package off the
// folder the path seems to name.  Separators are '\' and '/'; the path is walked by
// characters, so that the byte of a multibyte character never reads as one.
bool HasDotComponent(const char* path) {
    int dots = 0;          // the component's dots so far
    bool onlyDots = true;  // the component holds nothing else
    for (const char* p = path;;) {
        const int step = platform::NarrowCharLength(p);
        const bool separator = step == 0 || (step == 1 && (*p == '\\' || *p == '/'));
        if (separator) {
            if (onlyDots && (dots == 1 || dots == 2)) {
                return true;
            }
            dots = 0;
            onlyDots = true;
        } else if (step == 1 && *p == '.') {
            ++dots;
        } else {
            onlyDots = false;
        }
        if (step <= 0) {
            return false;
        }
        p += step;
    }
}

// The narrow form of a drive path that can name the card; raises _com_error for any other.
TextString CheckedDrivePath(const WideStringHandle& drivePath) {
    TextString narrow = NarrowPath(drivePath);
    if (!platform::IsAbsoluteFolderPath(narrow.Text()) || HasDotComponent(narrow.Text())) {
        ThrowComError(kUnusablePath);
    }
    return narrow;
}

}  // namespace

CardLayout::CardLayout(const WideStringHandle& drivePath) : drive_(CheckedDrivePath(drivePath)) {}
