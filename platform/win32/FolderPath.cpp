// Absolute folder paths on Windows: a drive's root ("X:\...") or a network share
// ("\\server\share\..."), ending in a separator ('\' or '/').  Drive-relative ("X:..."),
// root-relative ("\...") and device paths ("\\.\...", "\\?\...") are refused.
#include "platform/Platform.h"

namespace platform {

namespace {

// A character's role: '\' for a separator, the ASCII letters, ':', '.' and '?' as they
// are, 'x' for anything else.  Characters are walked in the ANSI code page, where a trail
// byte may equal '\'.
char Role(const char* character, int length) {
    if (length != 1) {
        return 'x';
    }
    const char c = *character;
    if (c == '\\' || c == '/') {
        return '\\';
    }
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letter || c == ':' || c == '.' || c == '?' ? c : 'x';
}

bool IsLetter(char role) { return (role >= 'A' && role <= 'Z') || (role >= 'a' && role <= 'z'); }

}  // namespace

// One walk, no allocation (the release program carries no string machinery): the first
// three roles decide a drive's root; for a share, the components between the second,
// third and fourth separators are the server and the share.
bool IsAbsoluteFolderPath(const char* path) {
    if (path == nullptr) {
        return false;
    }
    char first[3] = {};
    int count = 0;
    int separators = 0;
    int serverLength = 0;
    char serverRole = 0;  // the server's role when it is one character long
    int shareLength = 0;
    bool shareEnded = false;
    char last = 0;
    for (const char* p = path; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            return false;  // a character cut short
        }
        const char role = Role(p, step);
        if (count < 3) {
            first[count] = role;
        }
        if (role == '\\') {
            ++separators;
            shareEnded = shareEnded || (separators == 4 && shareLength > 0);
        } else if (separators == 2) {
            ++serverLength;
            serverRole = role;
        } else if (separators == 3) {
            ++shareLength;
        }
        last = role;
        ++count;
        p += step;
    }
    if (last != '\\') {
        return false;
    }
    if (count >= 3 && IsLetter(first[0]) && first[1] == ':' && first[2] == '\\') {
        return true;
    }
    if (count < 2 || first[0] != '\\' || first[1] != '\\') {
        return false;
    }
    const bool device = serverLength == 1 && (serverRole == '.' || serverRole == '?');
    return serverLength > 0 && !device && shareEnded;
}

UINT DriveNameLength(const char* drivePath) { return drivePath != nullptr && *drivePath != '\0' ? 1 : 0; }

}  // namespace platform
