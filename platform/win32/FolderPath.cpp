// Absolute folder paths on Windows: a drive's root ("X:\...") or a network share
// ("\\server\share\..."), ending in a separator ('\' or '/').  Drive-relative ("X:..."),
// root-relative ("\...") and device paths ("\\.\...", "\\?\...") are refused.
#include "platform/Platform.h"

#include <string>

namespace platform {

namespace {

// The path with each character reduced to its role: '\' for a separator, the ASCII
// letters, ':', '.' and '?' as they are, 'x' for anything else.  Characters are walked in
// the ANSI code page, where a trail byte may equal '\'.  False for a character cut short.
bool Skeleton(const char* path, std::string& roles) {
    for (const char* p = path; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            return false;
        }
        char role = 'x';
        if (step == 1) {
            const char c = *p;
            if (c == '\\' || c == '/') {
                role = '\\';
            } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':' || c == '.' || c == '?') {
                role = c;
            }
        }
        roles.push_back(role);
        p += step;
    }
    return true;
}

bool IsLetter(char role) { return (role >= 'A' && role <= 'Z') || (role >= 'a' && role <= 'z'); }

}  // namespace

bool IsAbsoluteFolderPath(const char* path) {
    std::string roles;
    if (path == nullptr || !Skeleton(path, roles) || roles.empty() || roles.back() != '\\') {
        return false;
    }
    if (roles.size() >= 3 && IsLetter(roles[0]) && roles[1] == ':' && roles[2] == '\\') {
        return true;
    }
    if (roles.compare(0, 2, "\\\\") != 0) {
        return false;
    }
    const std::size_t serverEnd = roles.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) {
        return false;
    }
    const std::string server = roles.substr(2, serverEnd - 2);
    if (server == "." || server == "?") {
        return false;
    }
    const std::size_t shareEnd = roles.find('\\', serverEnd + 1);
    return shareEnd != std::string::npos && shareEnd > serverEnd + 1;
}

}  // namespace platform
