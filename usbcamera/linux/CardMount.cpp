#include "CardMount.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "MountTable.h"
#include "SysfsFile.h"
#include "cameraserver/ServerLog.h"

extern char** environ;

namespace usbcamera {

namespace {

const char kMountTable[] = "/proc/self/mountinfo";
// udisksctl waits for the mount itself; this bounds a helper that hangs all the same.
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

// Waits up to `waitMs` for one of `volumes` to be mounted.  The kernel's mount table wakes
// poll() with POLLPRI at every change.
bool WaitForMount(const std::vector<Volume>& volumes, int waitMs, MountPoint& found) {
    const int fd = open(kMountTable, O_RDONLY | O_CLOEXEC);
    const long long deadline = NowMs() + waitMs;
    bool mounted = FindAny(fd, volumes, found);
    while (!mounted) {
        const long long left = deadline - NowMs();
        if (left <= 0) {
            break;
        }
        pollfd table{fd, POLLPRI, 0};
        poll(&table, fd >= 0 ? 1 : 0, static_cast<int>(left < kRecheckMs ? left : kRecheckMs));
        mounted = FindAny(fd, volumes, found);
    }
    if (fd >= 0) {
        close(fd);
    }
    return mounted;
}

// Asks udisksctl to mount /dev/<name> as a file manager does, never asking for a
// password; false when udisksctl is not on the PATH or failed.
bool MountWithUdisks(const std::string& name) {
    std::string device = "/dev/" + name;
    char program[] = "udisksctl";
    char mount[] = "mount";
    char option[] = "--block-device";
    char noPrompt[] = "--no-user-interaction";
    char* argv[] = {program, mount, option, &device[0], noPrompt, nullptr};

    // Nothing of its output may reach the utility's terminal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        cameraserver::Log("mount " + name + " udisksctl not started");
        return false;
    }
    const long long deadline = NowMs() + kHelperLimitMs;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && NowMs() < deadline) {
        poll(nullptr, 0, 50);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        cameraserver::Log("mount " + name + " udisksctl did not end");
        return false;
    }
    const bool succeeded = ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    cameraserver::Log("mount " + name + " udisksctl " + (succeeded ? "succeeded" : "failed"));
    return succeeded;
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
    if (WaitForMount(present, waitMs, found) ||
        (MountWithUdisks(present.front().name) && WaitForMount(present, kAfterHelperMs, found))) {
        cameraserver::Log("card " + present.front().name + " mounted=" + found.path +
                          (found.readOnly ? " ro" : " rw") + " after=" + std::to_string(NowMs() - started) + "ms");
        return AsDrivePath(found.path);
    }
    cameraserver::Log("card /dev/" + present.front().name + "/ not mounted");
    return "/dev/" + present.front().name + "/";
}

}  // namespace usbcamera
