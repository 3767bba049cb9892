// The registry entry is read as a bounded regular file: it lies in the user's home, where a
// FIFO would block the open for ever and a link to /dev/zero would never end its first line.
#include "platform/posix/PluginRegistry.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/RootOnlyPath.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {

namespace {

// Every path is shorter than this, its terminator included.
constexpr std::size_t kLineCapacity = PATH_MAX;

std::string GuidText(REFGUID g) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

// The user's registry; empty when there is none: without POSIXCOM_REGISTRY only an absolute
// HOME names one, so a missing HOME never sends the search to "/.posixcom" or below the
// working folder.
std::string UserRegistryDirectory() {
    const char* configured = std::getenv("POSIXCOM_REGISTRY");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        return {};
    }
    return std::string(home) + "/.posixcom";
}

// The entry's first line into `line` (at most kLineCapacity bytes are read); false when the
// file cannot be read or its first line does not end within them.
bool ReadFirstLine(int descriptor, std::string& line) {
    char buffer[kLineCapacity];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const ssize_t count = read(descriptor, buffer + filled, sizeof buffer - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        const auto* end = static_cast<const char*>(std::memchr(buffer + filled, '\n', static_cast<std::size_t>(count)));
        filled += static_cast<std::size_t>(count);
        if (end != nullptr || count == 0) {
            line.assign(buffer, end != nullptr ? static_cast<std::size_t>(end - buffer) : filled);
            return true;
        }
    }
    return false;
}

// The plugin's path from the entry open at `entry`, answered as RegisteredPluginPath answers.
HRESULT ReadPluginPath(int entry, std::string& path) {
    // A zero inside would cut the path short, naming another file.
    if (!ReadFirstLine(entry, path) || path.find('\0') != std::string::npos) {
        path.clear();
        return REGDB_E_READREGDB;
    }
    while (!path.empty() && (path.back() == '\r' || path.back() == ' ' || path.back() == '\t')) {
        path.pop_back();
    }
    return S_OK;
}

// The entry of one registry, answered as RegisteredPluginPath answers.
HRESULT PluginPathIn(const std::string& registry, REFCLSID clsid, std::string& path) {
    path.clear();
    if (registry.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    const std::string entry = registry + "/CLSID/" + GuidText(clsid) + "/InprocServer32";
    // Looked at before it is opened, so that a device is never opened (opening one may act on
    // it), nor a missing entry in a registry that root could not trust taken for a refusal.
    struct stat named {};
    if (stat(entry.c_str(), &named) != 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (!S_ISREG(named.st_mode)) {
        return REGDB_E_READREGDB;
    }
    // Root reads no entry that another user could change, as ssh's StrictModes reads no key
    // file another user could have written: su without a dash keeps the user's
    // POSIXCOM_REGISTRY and HOME.  The entry is read from the descriptor that was judged.
    if (geteuid() == 0) {
        RootOnlyPath judged(entry);
        if (judged.Result() != RootOnlyPath::Outcome::kOpened) {
            return REGDB_E_READREGDB;
        }
        return ReadPluginPath(judged.File(), path);
    }
    // Anyone else reads their own registry; the opened file is checked again, as the entry
    // may have been replaced since it was looked at.
    const Descriptor file(open(entry.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (file.Get() < 0 || fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return REGDB_E_READREGDB;
    }
    return ReadPluginPath(file.Get(), path);
}

}  // namespace

HRESULT RegisteredPluginPath(REFCLSID clsid, std::string& path) {
    const HRESULT user = PluginPathIn(UserRegistryDirectory(), clsid, path);
    return user == REGDB_E_CLASSNOTREG ? PluginPathIn(FWUPGRADE_SYSTEM_REGISTRY, clsid, path) : user;
}

}  // namespace platform::posix
