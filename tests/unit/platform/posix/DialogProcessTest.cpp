// A dialog shown by a child process: each way the child can behave, in a parent as it
// usually is, one that ignores SIGCHLD (the system reaps its children) and one whose waits
// a signal keeps interrupting; and what the child has to do with the program's terminal
// and exit handlers.
#include "platform/posix/DialogProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <ostream>
#include <pty.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utmp.h>

namespace {

using platform::posix::DialogOutcome;
using platform::posix::DialogReport;
using platform::posix::ShowInChildProcess;
using Clock = std::chrono::steady_clock;

constexpr int kShownWithinMs = 1000;

struct Behaviour {
    const char* name;
    void (*show)(const DialogReport&);
    DialogOutcome outcome;
};

const Behaviour kBehaviours[] = {
    {"AnswersOk",
     [](const DialogReport& r) {
         r.Shown();
         r.Answer(true);
     },
     DialogOutcome::Ok},
    {"AnswersCancel",
     [](const DialogReport& r) {
         r.Shown();
         r.Answer(false);
     },
     DialogOutcome::Cancel},
    // A display that answers, but slowly: within the deadline, however often the parent's
    // wait is interrupted.
    {"ShownLateButInTime",
     [](const DialogReport& r) {
         usleep(kShownWithinMs * 1000 / 4);
         r.Shown();
         r.Answer(true);
     },
     DialogOutcome::Ok},
    // GTK could not start.
    {"EndsBeforeShowing", [](const DialogReport&) {}, DialogOutcome::NotShown},
    // A display that never answers.
    {"NeverShows", [](const DialogReport&) { pause(); }, DialogOutcome::NotShown},
    // The display lost, or the window's client killed, with the dialog up.
    {"EndsWithTheDialogUp", [](const DialogReport& r) { r.Shown(); }, DialogOutcome::Lost},
    {"KilledWithTheDialogUp",
     [](const DialogReport& r) {
         r.Shown();
         raise(SIGKILL);
     },
     DialogOutcome::Lost},
};

void PrintTo(const Behaviour& behaviour, std::ostream* out) { *out << behaviour.name; }

volatile sig_atomic_t g_interruptions = 0;

extern "C" void CountInterruption(int) { g_interruptions = g_interruptions + 1; }

// The parent's signal settings for one case, put back afterwards.
class Parent {
public:
    enum Kind { Usual, IgnoringSigchld, Interrupted };

    explicit Parent(Kind kind) : kind_(kind) {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        if (kind == IgnoringSigchld) {
            action.sa_handler = SIG_IGN;
            sigaction(SIGCHLD, &action, &saved_);
        } else if (kind == Interrupted) {
            action.sa_handler = CountInterruption;  // no SA_RESTART: every wait fails with EINTR
            sigaction(SIGALRM, &action, &saved_);
            g_interruptions = 0;
            const itimerval every10Ms{{0, 10000}, {0, 10000}};
            setitimer(ITIMER_REAL, &every10Ms, nullptr);
        }
    }
    ~Parent() {
        if (kind_ == IgnoringSigchld) {
            sigaction(SIGCHLD, &saved_, nullptr);
        } else if (kind_ == Interrupted) {
            const itimerval stop{};
            setitimer(ITIMER_REAL, &stop, nullptr);
            // A tick raised before the timer stopped may not be delivered yet (valgrind holds
            // signals back until its next system call): take it while blocked, as the
            // default action it would meet afterwards ends the process.
            sigset_t alarm;
            sigemptyset(&alarm);
            sigaddset(&alarm, SIGALRM);
            sigset_t previous;
            sigprocmask(SIG_BLOCK, &alarm, &previous);
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGALRM) == 1) {
                int taken = 0;
                sigwait(&alarm, &taken);
            }
            sigaction(SIGALRM, &saved_, nullptr);
            sigprocmask(SIG_SETMASK, &previous, nullptr);
        }
    }
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;

private:
    Kind kind_;
    struct sigaction saved_ {};
};

const char* ParentName(Parent::Kind kind) {
    return kind == Parent::Usual ? "Usual" : kind == Parent::IgnoringSigchld ? "IgnoringSigchld" : "Interrupted";
}

class DialogInChildProcess : public testing::TestWithParam<std::tuple<Behaviour, Parent::Kind>> {};

TEST_P(DialogInChildProcess, TellsWhatBecameOfItAndLeavesNoChild) {
    const Behaviour& behaviour = std::get<0>(GetParam());
    const Parent::Kind kind = std::get<1>(GetParam());
    DialogOutcome outcome = DialogOutcome::Ok;
    const Clock::time_point start = Clock::now();
    {
        const Parent parent(kind);
        outcome = ShowInChildProcess([&behaviour](const DialogReport& report) { behaviour.show(report); },
                                     kShownWithinMs);
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

    EXPECT_EQ(static_cast<int>(outcome), static_cast<int>(behaviour.outcome));
    // Neither a running child nor one left unreaped.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    // A child that never shows costs the deadline, and not much more.
    EXPECT_LT(elapsedMs, kShownWithinMs + 2000);
    // A wait of this length was interrupted a few times over, or the case tested nothing.
    if (kind == Parent::Interrupted && elapsedMs >= 100) {
        EXPECT_GT(g_interruptions, 0) << "the timer never interrupted the wait";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Children, DialogInChildProcess,
    testing::Combine(testing::ValuesIn(kBehaviours),
                     testing::Values(Parent::Usual, Parent::IgnoringSigchld, Parent::Interrupted)),
    [](const testing::TestParamInfo<std::tuple<Behaviour, Parent::Kind>>& row) {
        return std::string(std::get<0>(row.param).name) + "_" + ParentName(std::get<1>(row.param));
    });

// Where the program's exit handlers write, in the process on the terminal below.
int g_exitHandlerOutput = -1;

extern "C" void WriteExitMark() {
    const char mark = 'x';
    static_cast<void>(write(g_exitHandlerOutput, &mark, 1));
}

// A program on a terminal (keys typed ahead on it) that has an exit handler shows a dialog
// whose child looks at what it was given: it must find no terminal, no input and no
// terminal to write to, and end without running the program's exit handler.
TEST(DialogInChildProcessOnATerminal, ChildHasNoTerminalInputOrExitHandler) {
    int master = -1;
    int slave = -1;
    int marks[2];
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(pipe(marks), 0);
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        close(master);
        close(marks[0]);
        if (login_tty(slave) != 0) {
            _exit(127);
        }
        g_exitHandlerOutput = marks[1];
        std::atexit(WriteExitMark);
        const DialogOutcome outcome = ShowInChildProcess(
            [](const DialogReport& report) {
                report.Shown();
                char key = 0;
                const bool noTerminal = open("/dev/tty", O_RDWR | O_NOCTTY) < 0;
                const bool noInput = read(STDIN_FILENO, &key, 1) == 0;
                const bool noTerminalOutput = isatty(STDOUT_FILENO) == 0 && isatty(STDERR_FILENO) == 0;
                report.Answer(noTerminal && noInput && noTerminalOutput);
            },
            kShownWithinMs);
        // The exit handler stays for the child to run, or not: this process leaves without.
        _exit(outcome == DialogOutcome::Ok ? 0 : outcome == DialogOutcome::Cancel ? 1 : 2);
    }
    close(slave);
    close(marks[1]);
    const char typed[] = "typed ahead\n";
    EXPECT_EQ(write(master, typed, sizeof typed - 1), static_cast<ssize_t>(sizeof typed - 1));

    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the child had a terminal, input or terminal output; 2: no answer";
    char mark = 0;
    EXPECT_EQ(read(marks[0], &mark, 1), 0) << "the child ran the program's exit handler";
    close(marks[0]);
    close(master);
}

}  // namespace
