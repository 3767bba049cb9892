// The message box on the controlling terminal, driven through a pseudo-terminal: what it
// shows, which keys answer it, and that the terminal's modes come back.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <utmp.h>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;
// Longer than the box waits to tell a lone Escape from a cursor key's sequence.
constexpr useconds_t kKeyGapUs = 200000;

// The child's exit code: the box's answer, plus 10 when the terminal's modes differ after
// the call from what they were before.
constexpr int kModesChanged = 10;

bool SameModes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

[[noreturn]] void RunBoxInChild(const char* text, const char* caption, UINT type, useconds_t delayUs) {
    std::signal(SIGHUP, SIG_IGN);
    termios before{};
    tcgetattr(STDIN_FILENO, &before);
    usleep(delayUs);
    const int answer = MessageBoxA(nullptr, text, caption, type);
    termios after{};
    const bool restored = tcgetattr(STDIN_FILENO, &after) != 0 || SameModes(before, after);
    _exit(answer + (restored ? 0 : kModesChanged));
}

// Starts a child whose controlling terminal is a new pseudo-terminal, and hands back the
// terminal's side and, when asked, its modes as they were before the child could change them.
pid_t ForkOnTerminal(int& master, termios* modes = nullptr) {
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return -1;
    }
    if (modes != nullptr) {
        tcgetattr(slave, modes);
    }
    const pid_t child = fork();
    if (child == 0) {
        close(master);
        if (login_tty(slave) != 0) {
            _exit(127);
        }
        return 0;
    }
    close(slave);
    if (child < 0) {
        close(master);
    }
    return child;
}

struct Session {
    int exitCode = -1;
    std::string output;  // carriage returns removed
};

// Appends what the terminal shows until `marker` has appeared (or, with no marker, until
// the child closes the terminal).
bool ReadUntil(int master, std::string& output, const char* marker) {
    for (;;) {
        if (marker != nullptr && output.find(marker) != std::string::npos) {
            return true;
        }
        pollfd entry{master, POLLIN, 0};
        if (poll(&entry, 1, kWaitMs) <= 0) {
            return false;
        }
        char chunk[512];
        const ssize_t count = read(master, chunk, sizeof chunk);
        if (count <= 0) {
            return marker == nullptr;
        }
        for (ssize_t i = 0; i < count; ++i) {
            if (chunk[i] != '\r') {
                output += chunk[i];
            }
        }
    }
}

// Shows a box in a child whose controlling terminal is a new pseudo-terminal, then sends
// `early` at once (before the box is up) and each of `keys` once its buttons are shown.
Session RunBox(const char* text, const char* caption, UINT type, const std::vector<std::string>& keys,
               const std::string& early = std::string()) {
    Session session;
    int master = -1;
    const pid_t child = ForkOnTerminal(master);
    if (child < 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return session;
    }
    if (child == 0) {
        RunBoxInChild(text, caption, type, early.empty() ? 0 : 300000);
    }
    if (!early.empty() && write(master, early.data(), early.size()) < 0) {
        ADD_FAILURE() << "cannot type ahead";
    }
    if (ReadUntil(master, session.output, ") ===\n")) {
        for (const std::string& key : keys) {
            usleep(kKeyGapUs);
            if (write(master, key.data(), key.size()) < 0) {
                ADD_FAILURE() << "cannot type";
            }
        }
    } else {
        ADD_FAILURE() << "no box shown; the terminal showed: " << session.output;
    }
    ReadUntil(master, session.output, nullptr);
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    session.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return session;
}

struct KeyCase {
    const char* name;
    UINT type;
    std::vector<std::string> keys;
    int answer;
};

void PrintTo(const KeyCase& row, std::ostream* out) { *out << row.name; }

class TerminalMessageBoxKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(TerminalMessageBoxKeys, AnswersAndRestoresTheTerminal) {
    const KeyCase& row = GetParam();
    const Session session = RunBox("Text", "Caption", row.type, row.keys);
    EXPECT_EQ(session.exitCode, row.answer) << session.output;
    const char* answerLine = row.answer == IDOK ? "\n=== OK ===\n" : "\n=== Cancel ===\n";
    EXPECT_NE(session.output.find(answerLine), std::string::npos) << session.output;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TerminalMessageBoxKeys,
    testing::Values(KeyCase{"OkByEnter", MB_OK, {"\r"}, IDOK},
                    KeyCase{"OkBoxIgnoresCancelKeys", MB_OK, {"\x1b", "c", "\r"}, IDOK},
                    KeyCase{"OkCancelByEnter", MB_OKCANCEL, {"\r"}, IDOK},
                    KeyCase{"CancelByEscape", MB_OKCANCEL, {"\x1b"}, IDCANCEL},
                    KeyCase{"CancelByC", MB_OKCANCEL, {"c"}, IDCANCEL},
                    KeyCase{"CursorKeyIsNoEscape", MB_OKCANCEL, {"\x1b[A", "x", " ", "\r"}, IDOK},
                    KeyCase{"IconFlagsIgnored", MB_OKCANCEL | 0x40u, {"C"}, IDCANCEL},
                    KeyCase{"CancelByCtrlC", MB_OKCANCEL, {"\x03"}, IDCANCEL},
                    KeyCase{"OkBoxClosedByCtrlC", MB_OK, {"\x03"}, IDOK}),
    RowName<KeyCase>);

TEST(TerminalMessageBox, ShowsCaptionTextAndButtonsBetweenMarkers) {
    const Session okCancel = RunBox("Line one\r\nLine two", "The caption", MB_OKCANCEL, {"\r"});
    EXPECT_NE(okCancel.output.find("=== MessageBox: The caption ===\nLine one\nLine two\n"
                                   "=== [OK] [Cancel] (Enter: OK, Esc or c: Cancel) ===\n=== OK ===\n"),
              std::string::npos)
        << okCancel.output;

    const Session ok = RunBox("Single", "Only OK", MB_OK, {"\r"});
    EXPECT_NE(ok.output.find("=== MessageBox: Only OK ===\nSingle\n=== [OK] (Enter: OK) ===\n=== OK ===\n"),
              std::string::npos)
        << ok.output;
}

// A text from elsewhere inside a box (a mount point, a model name) may hold control
// characters; the terminal shows them, and is never driven by them: C0 controls and DEL in
// caret notation, the other control characters as <U+XXXX>, tabs as they are.
TEST(TerminalMessageBox, ControlCharactersAreShownNotSent) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    const Session session = RunBox("on drive /media/\x1b]0;OWNED\a\x1b[2J/\xc2\x9b" "2J\tx\x7f", "Cap\x1b[31mtion",
                                   MB_OK, {"\r"});
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_NE(session.output.find("=== MessageBox: Cap^[[31mtion ===\non drive /media/^[]0;OWNED^G^[[2J/<U+009B>2J\tx^?\n"),
              std::string::npos)
        << session.output;
    EXPECT_EQ(session.output.find_first_of("\x1b\x07\x7f"), std::string::npos) << "a control character reached the terminal";
    EXPECT_EQ(session.output.find("\xc2\x9b"), std::string::npos);
}

TEST(TerminalMessageBox, KeysTypedBeforeTheBoxAreNoAnswer) {
    const Session session = RunBox("Text", "Caption", MB_OKCANCEL, {"\x1b"}, "\r");
    EXPECT_EQ(session.exitCode, IDCANCEL) << session.output;
}

TEST(TerminalMessageBox, TerminalGoneFailsTheCall) {
    int master = -1;
    const pid_t child = ForkOnTerminal(master);
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunBoxInChild("Text", "Caption", MB_OKCANCEL, 0);
    }
    std::string output;
    EXPECT_TRUE(ReadUntil(master, output, "=== [OK]"));
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status) % kModesChanged, 0);
}

// The user learns why nothing happens, once, on standard error.
TEST(TerminalMessageBox, NoTerminalFailsTheCallAndSaysSoOnce) {
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();  // a new session has no controlling terminal
        dup2(errors[1], STDERR_FILENO);
        bool failed = true;
        for (int box = 0; box < 2; ++box) {
            SetLastError(0);
            const int answer = MessageBoxA(nullptr, "Text", "Caption", MB_OKCANCEL);
            failed = failed && answer == 0 && GetLastError() == ERROR_INVALID_HANDLE;
        }
        _exit(failed ? 0 : 1);
    }
    close(errors[1]);
    std::string said;
    char chunk[256];
    for (ssize_t count; (count = read(errors[0], chunk, sizeof chunk)) > 0;) {
        said.append(chunk, static_cast<std::size_t>(count));
    }
    close(errors[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string note = "on a terminal, and it has none: run it from a terminal. Nothing was written.\n";
    ASSERT_NE(said.find(note), std::string::npos) << said;
    EXPECT_EQ(said.find(note), said.rfind(note)) << "said more than once: " << said;
}

// The child's end, or -1 when it has not ended within the wait (it is killed then).
int EndOf(pid_t child) {
    int status = 0;
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        if (waitpid(child, &status, WNOHANG) == child) {
            return status;
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

// Any signal that ends the run while a box waits leaves the terminal as it found it: those
// that end it quietly and those that dump core, and the real-time ones.  (SIGSTKFLT, which
// nothing sends, is left out, as valgrind drops it.)
TEST(TerminalMessageBox, EndingSignalRestoresTheTerminal) {
    std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT,   SIGABRT, SIGUSR1, SIGUSR2, SIGPIPE,  SIGALRM,     SIGTERM,
                                SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGRTMIN, SIGRTMIN + 1};
    // Under valgrind a fault signal (SIGSYS among them) sent by another process does not reach
    // the program as sent: valgrind handles these for its guest's own faults.  Natively they
    // are sent like the others.
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "vgpreload") == nullptr) {
        signals.insert(signals.end(), {SIGILL, SIGTRAP, SIGBUS, SIGFPE, SIGSEGV, SIGSYS});
    }
    for (const int signal : signals) {
        SCOPED_TRACE(std::string("signal ") + strsignal(signal));
        int master = -1;
        termios before{};
        const pid_t child = ForkOnTerminal(master, &before);
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            MessageBoxA(nullptr, "Text", "Caption", MB_OKCANCEL);
            _exit(0);
        }
        std::string output;
        EXPECT_TRUE(ReadUntil(master, output, ") ===\n")) << output;
        kill(child, signal);
        const int status = EndOf(child);
        ASSERT_NE(status, -1) << "the signal did not end the run";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "the signal still ends the run";
        termios after{};
        ASSERT_EQ(tcgetattr(master, &after), 0);
        close(master);
        EXPECT_TRUE(SameModes(before, after)) << "lflag before " << before.c_lflag << ", after " << after.c_lflag;
    }
}

TEST(TerminalMessageBox, OnlyOkAndOkCancelAreOffered) {
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "Text", "Caption", 4u /* yes and no */), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FLAGS});
}

}  // namespace
