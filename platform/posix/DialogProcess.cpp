// The parent and the child talk over a pipe, one byte per report: Shown, then OK or
// Cancel.  The child's end closes when it ends, however it ends, so the parent never needs
// a signal to learn that a child has gone.
#include "platform/posix/DialogProcess.h"

#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kShown = 'S';
constexpr char kOk = 'O';
constexpr char kCancel = 'C';
// Besides the reports: the child closed its end (it has ended), or it said nothing (the
// deadline passed, or the pipe failed) and may still run.
constexpr int kEnded = -1;
constexpr int kSilent = -2;

// A child process, reaped on every path; one that may still run is killed first.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        const int saved = errno;
        if (mayRun_) {
            kill(pid_, SIGKILL);
        }
        // Where SIGCHLD is ignored the system reaps the child, and this fails with ECHILD
        // once it has ended.
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        errno = saved;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // It has ended, or ends by itself at once (it has answered): it is waited for, never
    // signalled, so that a number the system has reaped and given to another process is
    // never killed.
    void EndsByItself() { mayRun_ = false; }

private:
    pid_t pid_;
    bool mayRun_ = true;
};

// The child's next report, kEnded or kSilent; without a deadline it waits for ever.
int NextReport(int channel, const Clock::time_point* deadline) {
    for (;;) {
        int timeoutMs = -1;
        if (deadline != nullptr) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            timeoutMs = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd entry{channel, POLLIN, 0};
        const int ready = poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return kSilent;
        }
        char report = 0;
        const ssize_t count = read(channel, &report, 1);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return kSilent;
        }
        return count == 1 ? report : kEnded;
    }
}

// The child's life: a session of its own (no controlling terminal, none of its signals),
// the standard streams on /dev/null, and on Linux an end with its parent's, so that a
// dialog never outlives the program that asked.
[[noreturn]] void RunChild(pid_t parent, int channel, const std::function<void(const DialogReport&)>& show) {
    setsid();
#if defined(__linux__)
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
        _exit(0);
    }
#else
    static_cast<void>(parent);
#endif
    const int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0 ||
        dup2(null, STDERR_FILENO) < 0) {
        _exit(0);
    }
    if (null > STDERR_FILENO) {
        close(null);
    }
    show(DialogReport(channel));
    _exit(0);
}

}  // namespace

void DialogReport::Shown() const { Send(kShown); }

void DialogReport::Answer(bool ok) const { Send(ok ? kOk : kCancel); }

void DialogReport::Send(char report) const {
    while (write(channel_, &report, 1) < 0 && errno == EINTR) {
    }
}

DialogOutcome ShowInChildProcess(const std::function<void(const DialogReport&)>& show, int shownWithinMs) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return DialogOutcome::NotShown;
    }
    Descriptor reading(ends[0]);
    Descriptor writing(ends[1]);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        reading.Reset();
        RunChild(parent, writing.Get(), show);
    }
    // The child holds the only writing end now: the pipe reads as closed once it has ended.
    writing.Reset();
    if (pid < 0) {
        return DialogOutcome::NotShown;
    }
    ChildProcess child(pid);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(shownWithinMs);
    const int shown = NextReport(reading.Get(), &deadline);
    if (shown == kEnded) {
        child.EndsByItself();
    }
    if (shown != kShown) {
        return DialogOutcome::NotShown;
    }
    const int answer = NextReport(reading.Get(), nullptr);
    if (answer == kOk || answer == kCancel || answer == kEnded) {
        child.EndsByItself();
    }
    return answer == kOk ? DialogOutcome::Ok : answer == kCancel ? DialogOutcome::Cancel : DialogOutcome::Lost;
}

}  // namespace platform::posix
