#include "platform/posix/PluginModule.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/RootOnlyPath.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace platform::posix {
namespace {

// The name of the folder open at `descriptor`, for as long as it stays open.
std::string FolderName(int descriptor) { return "/proc/self/fd/" + std::to_string(descriptor); }

// The folders that plugins loaded as root are named through, each held by one descriptor
// that is never closed: the loader and the plugins go on using the names made from it, and
// the loader knows a plugin it has loaded by its name, so a folder keeps one name.
class HeldFolders {
public:
    // The descriptor that names the folder open at `folder` from now on: the one held for
    // that folder already (`folder` is closed), else `folder` itself; -1 if it cannot be told.
    int Hold(Descriptor folder) {
        struct stat status {};
        if (fstat(folder.Get(), &status) != 0) {
            return -1;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Held& held : folders_) {
            if (held.device == status.st_dev && held.inode == status.st_ino) {
                return held.descriptor;
            }
        }
        folders_.push_back(Held{status.st_dev, status.st_ino, folder.Get()});
        return folder.Detach();
    }

private:
    struct Held {
        dev_t device;
        ino_t inode;
        int descriptor;
    };

    std::mutex mutex_;
    std::vector<Held> folders_;
};

HeldFolders& PluginFolders() {
    static HeldFolders folders;
    return folders;
}

// Whether FolderName(folder) leads to the folder open there: not where /proc is missing.
bool NamedThroughProc(int folder) {
    struct stat opened {};
    struct stat named {};
    return fstat(folder, &opened) == 0 && stat(FolderName(folder).c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Said once: the camera software would otherwise just seem missing.
void ReportNoProc() {
    static std::once_flag reported;
    std::call_once(reported, [] {
        static const char kNote[] =
            "Run as root, this utility loads camera software only through /proc, which is not mounted "
            "here: no camera software was loaded. Mount /proc, or run the utility as the camera's owner.\n";
        ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
        static_cast<void>(ignored);
    });
}

HRESULT LoadAsRoot(const std::string& path, void** module) {
    RootOnlyPath plugin(path);
    if (plugin.Result() == RootOnlyPath::Outcome::kMissing) {
        return CO_E_DLLNOTFOUND;
    }
    if (plugin.Result() != RootOnlyPath::Outcome::kOpened) {
        return REGDB_E_READREGDB;
    }
    if (!NamedThroughProc(plugin.Folder())) {
        ReportNoProc();
        return REGDB_E_READREGDB;
    }
    const int folder = PluginFolders().Hold(plugin.TakeFolder());
    if (folder < 0) {
        return CO_E_DLLNOTFOUND;
    }
    *module = dlopen((FolderName(folder) + "/" + plugin.Name()).c_str(), RTLD_NOW | RTLD_LOCAL);
    return *module != nullptr ? S_OK : CO_E_DLLNOTFOUND;
}

}  // namespace

HRESULT LoadPluginModule(const std::string& path, void** module) {
    *module = nullptr;
    if (geteuid() == 0) {
        return LoadAsRoot(path, module);
    }
    *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return *module != nullptr ? S_OK : CO_E_DLLNOTFOUND;
}

}  // namespace platform::posix
