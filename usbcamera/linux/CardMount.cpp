#include "usbcamera/linux/CardMount.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "usbcamera/linux/MountTable.h"
#include "platform/posix/Descriptor.h"
#include "usbcamera/linux/SysfsFile.h"
#include "cameraserver/ServerLog.h"

extern char** environ;

namespace usbcamera {

namespace {

const char kMountTable[] = "/proc/self/mountinfo";
// udisksctl waits for the mount itself; this bounds a helper that hangs all the same, and
// the wait for a helper that cannot be waited for.
constexpr int kHelperLimitMs = 20000;
// A mount table that cannot wake a waiter (a plain file standing in for it) is read
// again this often all the same.
constexpr long long kRecheckMs = 250;
// After udisksctl reported, the kernel's table may lag behind it by a moment.
constexpr int kAfterHelperMs = 1000;

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The mount point of the first of `volumes` that is mounted, read from the open table `fd`.
bool FindAny(int fd, const std::vector<Volume>& volumes, MountPoint& found) {
    std::string table;
    if (fd >= 0) {
        char buffer[4096];
        ssize_t got = 0;
        off_t offset = 0;
        while ((got = pread(fd, buffer, sizeof buffer, offset)) > 0) {
            table.append(buffer, static_cast<std::size_t>(got));
            offset += got;
        }
    }
    for (const Volume& volume : volumes) {
        if (FindMount(table, volume.number, found)) {
            return true;
        }
    }
    return false;
}

// Waits up to `waitMs` for one of `volumes` to be mounted, or until `stop` says there is no
// point waiting longer.  The kernel's mount table wakes poll() with POLLPRI at every change.
template <class Stop>
bool WaitForMount(const std::vector<Volume>& volumes, int waitMs, MountPoint& found, Stop stop) {
    const platform::posix::Descriptor table(open(kMountTable, O_RDONLY | O_CLOEXEC));
    const long long deadline = NowMs() + waitMs;
    bool mounted = FindAny(table.Get(), volumes, found);
    while (!mounted && !stop()) {
        const long long left = deadline - NowMs();
        if (left <= 0) {
            break;
        }
        pollfd change{table.Get(), POLLPRI, 0};
        poll(&change, table.IsEmpty() ? 0 : 1, static_cast<int>(left < kRecheckMs ? left : kRecheckMs));
        mounted = FindAny(table.Get(), volumes, found);
    }
    return mounted;
}

bool WaitForMount(const std::vector<Volume>& volumes, int waitMs, MountPoint& found) {
    return WaitForMount(volumes, waitMs, found, [] { return false; });
}

// `program` in the first folder of PATH that holds it as an executable file; empty when
// none does.  Only absolute folders count: an empty entry, "." or a relative folder would
// run whatever file of that name the working folder holds.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty() || folder[0] != '/') {
            continue;
        }
        const std::string candidate = folder + "/" + program;
        struct stat status {};
        if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// A started helper program, ended when it goes out of scope: killed if still running, and
// reaped where it can be.  A parent that ignores SIGCHLD has its children reaped by the
// kernel, so that waiting for one fails; it is then seen to have ended once it is gone.
class Helper {
public:
    explicit Helper(pid_t pid) : pid_(pid) {}
    ~Helper() {
        if (!Ended()) {
            kill(pid_, SIGKILL);
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // Whether it has ended; the first time it is seen to, it is reaped and its exit noted.
    bool Ended() {
        if (endedAtMs_ < 0) {
            int status = 0;
            const pid_t reaped = waitpid(pid_, &status, WNOHANG);
            if (reaped == pid_) {
                succeeded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                endedAtMs_ = NowMs();
            } else if (reaped < 0 && errno == ECHILD && kill(pid_, 0) != 0) {
                endedAtMs_ = NowMs();
            }
        }
        return endedAtMs_ >= 0;
    }
    long long EndedAtMs() const { return endedAtMs_; }
    const char* Report() const { return endedAtMs_ < 0 ? "did not end" : succeeded_ ? "succeeded" : "ended"; }

private:
    const pid_t pid_;
    long long endedAtMs_ = -1;
    bool succeeded_ = false;
};

// Asks udisksctl to mount /dev/<name of the first of `volumes`> as a file manager does,
// never asking for a password, and judges it by the mount table: true once one of
// `volumes` is mounted there, whatever udisksctl's own ending says or whether it can be
// told at all.
bool MountWithUdisks(const std::vector<Volume>& volumes, MountPoint& found) {
    const std::string& name = volumes.front().name;
    const std::string program = FindOnPath("udisksctl");
    if (program.empty()) {
        cameraserver::Log("mount " + name + " udisksctl not found in an absolute folder of PATH");
        return false;
    }
    std::string device = "/dev/" + name;
    std::string path = program;
    char mount[] = "mount";
    char option[] = "--block-device";
    char noPrompt[] = "--no-user-interaction";
    char* argv[] = {&path[0], mount, option, &device[0], noPrompt, nullptr};

    // Nothing of its output may reach the utility's terminal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        cameraserver::Log("mount " + name + " udisksctl not started");
        return false;
    }
    Helper helper(child);
    // Until the card is in the table, or a moment after udisksctl ended (the kernel's table
    // may lag behind it), or udisksctl's time is up.
    const bool mounted = WaitForMount(volumes, kHelperLimitMs, found, [&helper] {
        return helper.Ended() && NowMs() - helper.EndedAtMs() >= kAfterHelperMs;
    });
    helper.Ended();
    cameraserver::Log("mount " + name + " udisksctl " + helper.Report() + (mounted ? ", mounted" : ", not mounted"));
    return mounted;
}

std::string AsDrivePath(const std::string& folder) {
    return folder.empty() || folder.back() != '/' ? folder + "/" : folder;
}

}  // namespace

std::string CardDrivePath(const std::vector<Volume>& volumes, int waitMs) {
    std::vector<Volume> present;
    for (const Volume& volume : volumes) {
        // Read afresh: a card may have gone in or out of a slot since the list was made.
        if (std::strtoull(ReadAttribute(volume.folder + "/size").c_str(), nullptr, 10) > 0) {
            present.push_back(volume);
        }
    }
    // "/dev/null/" names no folder either, for a device without a volume.
    const std::string noCard = "/dev/" + (volumes.empty() ? std::string("null") : volumes.front().name) + "/";
    if (present.empty()) {
        cameraserver::Log("card " + noCard + " no medium");
        return noCard;
    }
    MountPoint found;
    const long long started = NowMs();
    if (WaitForMount(present, waitMs, found) || MountWithUdisks(present, found)) {
        cameraserver::Log("card " + present.front().name + " mounted=" + found.path +
                          (found.readOnly ? " ro" : " rw") + " after=" + std::to_string(NowMs() - started) + "ms");
        return AsDrivePath(found.path);
    }
    cameraserver::Log("card /dev/" + present.front().name + "/ not mounted");
    return "/dev/" + present.front().name + "/";
}

}  // namespace usbcamera
