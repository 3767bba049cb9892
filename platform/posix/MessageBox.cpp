// MessageBoxA as a modal dialog on the controlling terminal, where there is no desktop
// dialog (platform/posix/DesktopMessageBox.h).  A desktop dialog whose display went away
// before it was answered returns 0, as a box that could not be shown does.
//
// The box is written to /dev/tty between marker lines, so that a person can read it and a
// pseudo-terminal driver can find it:
//
//   === MessageBox: <caption> ===
//   <text, one or more lines, its control characters shown as ^[ or <U+009B>>
//   === [OK] [Cancel] (Enter: OK, Esc or c: Cancel) ===      or  === [OK] (Enter: OK) ===
//   === OK ===                                                or  === Cancel ===
//
// The last line follows the answer.  Keys are read raw: Enter is OK; Escape or "c" is
// Cancel when the box has a Cancel button; Ctrl-C is Cancel, or OK for a box with only OK;
// other keys, including the escape sequences of cursor keys, are ignored.  Keys typed
// before the box appeared are discarded, so no answer is given ahead.  Without a terminal,
// or if the box cannot be written, the call fails and returns 0; the first such failure
// without a terminal says so on standard error.  A signal that ends the process while a
// box is open (any whose default action ends it, from SIGHUP to the real-time signals)
// restores the terminal's modes first.  Only the
// MB_OK and MB_OKCANCEL button sets are offered; icon and default-button flags are
// accepted and ignored.
#include "platform/Platform.h"
#include "platform/posix/DesktopMessageBox.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/LineBreaks.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr UINT kButtonMask = 0xF;
constexpr int kEscape = 0x1B;
constexpr int kInterrupt = 0x03;  // Ctrl-C, which raw input delivers as a key
// The signals whose default action ends the process, with or without a core dump, besides
// the real-time ones; SIGKILL cannot be caught.
constexpr int kEndingSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
    SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#if defined(__linux__)
    SIGSTKFLT, SIGIO, SIGPWR,  // elsewhere absent, or ignored by default
#endif
};

// The terminal whose modes a box changed, for the signal handler to put back.
volatile sig_atomic_t g_rawDescriptor = -1;
termios g_savedModes{};

extern "C" void RestoreModesAndEnd(int signal) {
    if (g_rawDescriptor >= 0) {
        tcsetattr(g_rawDescriptor, TCSANOW, &g_savedModes);
    }
    // Raised again with its usual action, the signal ends the process as it would have,
    // once this handler returns.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

// While it lives, a signal that would end the process restores the terminal first.
class SignalGuard {
public:
    SignalGuard(int descriptor, const termios& saved) {
        g_savedModes = saved;
        g_rawDescriptor = descriptor;
        sigemptyset(&taken_);
        for (const int signal : kEndingSignals) {
            Take(signal);
        }
        // The C library reserves the first few for its threads, which SIGRTMIN leaves out.
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
            Take(signal);
        }
    }
    ~SignalGuard() {
        for (int signal = 1; signal < NSIG; ++signal) {
            if (sigismember(&taken_, signal) == 1) {
                sigaction(signal, &previous_[signal], nullptr);
            }
        }
        g_rawDescriptor = -1;
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

private:
    void Take(int signal) {
        struct sigaction action {};
        action.sa_handler = RestoreModesAndEnd;
        sigemptyset(&action.sa_mask);
        // A signal the process ignores stays ignored; one the system keeps for itself (as a
        // debugger or valgrind may) is left alone.
        if (sigaction(signal, nullptr, &previous_[signal]) == 0 && previous_[signal].sa_handler != SIG_IGN &&
            sigaction(signal, &action, nullptr) == 0) {
            sigaddset(&taken_, signal);
        }
    }

    struct sigaction previous_[NSIG] {};
    sigset_t taken_{};
};

// Said once: with no terminal the user would otherwise learn nothing, as no box shows.
void ReportNoTerminal() {
    static bool reported = false;
    if (reported) {
        return;
    }
    reported = true;
    static const char kNote[] =
        "This utility shows its messages and asks for confirmation on a terminal, and it has none: "
        "run it from a terminal. Nothing was written.\n";
    ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    static_cast<void>(ignored);
}

// Room for a visible form: "<U+10FFFF>" and its end.
constexpr std::size_t kShownCapacity = 24;

// Whether the character of `length` bytes at `p` is a control character other than a tab,
// and if so its visible form in `shown`: caret notation for the C0 controls and DEL (^[,
// ^G, ^?), <U+XXXX> for the others (C1, the line and paragraph separators).  A byte that
// begins no character of the locale's set stands for the Latin-1 character of its value,
// so that a stray 0x9B is not taken for the terminal's control sequence introducer.
bool Visible(const char* p, int length, char (&shown)[kShownCapacity]) {
    std::mbstate_t state{};
    wchar_t character = 0;
    const std::size_t decoded = std::mbrtowc(&character, p, static_cast<std::size_t>(length), &state);
    const auto code = decoded == static_cast<std::size_t>(length) ? static_cast<unsigned long>(character)
                                                                   : static_cast<unsigned char>(*p);
    if (code == '\t') {
        return false;
    }
    if (code < 0x20 || code == 0x7F) {
        std::snprintf(shown, sizeof shown, "^%c", static_cast<char>(code ^ 0x40));
        return true;
    }
    if ((code >= 0x80 && code <= 0x9F) || (decoded == static_cast<std::size_t>(length) && std::iswcntrl(static_cast<wint_t>(character)) != 0)) {
        std::snprintf(shown, sizeof shown, "<U+%04lX>", code);
        return true;
    }
    return false;
}

// A cursor key sends Escape and more bytes at once; a lone Escape stays alone this long.
constexpr int kSequenceWaitMs = 50;

// The controlling terminal, opened for one box; its modes are restored on every path.
class Terminal {
public:
    Terminal() : terminal_(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    // Restores the modes before the terminal is closed.
    ~Terminal() {
        if (modesChanged_) {
            tcsetattr(terminal_.Get(), TCSADRAIN, &saved_);
        }
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool IsEmpty() const { return terminal_.IsEmpty(); }
    int Descriptor() const { return terminal_.Get(); }
    const termios& SavedModes() const { return saved_; }

    // Keys one at a time, without echo, line editing or signal keys; typed-ahead input is
    // discarded.
    bool StartRawInput() {
        if (tcgetattr(terminal_.Get(), &saved_) != 0) {
            return false;
        }
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(terminal_.Get(), TCSAFLUSH, &raw) != 0) {
            return false;
        }
        modesChanged_ = true;
        return true;
    }

    bool Write(const char* text, std::size_t length) {
        while (length > 0) {
            const ssize_t count = write(terminal_.Get(), text, length);
            if (count < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            text += count;
            length -= static_cast<std::size_t>(count);
        }
        return true;
    }
    bool Write(const char* text) { return Write(text, std::strlen(text)); }

    // Text as the box shows it, from `text` up to `end`: its control characters made
    // visible (Visible), so that a text from elsewhere inside it (a mount point, a model
    // name) can never drive the terminal.
    bool WriteVisible(const char* text, const char* end) {
        const char* run = text;
        const char* p = text;
        while (p < end) {
            const int step = platform::NarrowCharLength(p);
            const int length = step > 0 && step <= end - p ? step : 1;
            char shown[kShownCapacity];
            if (Visible(p, length, shown)) {
                if (!Write(run, static_cast<std::size_t>(p - run)) || !Write(shown)) {
                    return false;
                }
                run = p + length;
            }
            p += length;
        }
        return Write(run, static_cast<std::size_t>(p - run));
    }
    bool WriteVisible(const char* text) { return WriteVisible(text, text + std::strlen(text)); }

    // The text with its line ends made single line feeds, ending with one, and its control
    // characters visible.
    bool WriteText(const char* text) {
        const std::size_t length = std::strlen(text);
        const bool written = platform::posix::ForEachLine(
            text, text + length, [this](const char* begin, const char* end) { return WriteVisible(begin, end); },
            [this] { return Write("\n"); });
        const bool ended = length == 0 || text[length - 1] == '\n' || text[length - 1] == '\r';
        return written && (ended || Write("\n"));
    }

    // The next byte typed, or -1 when the terminal has gone.
    int ReadKey() {
        unsigned char key = 0;
        for (;;) {
            const ssize_t count = read(terminal_.Get(), &key, 1);
            if (count == 1) {
                return key;
            }
            if (count < 0 && errno == EINTR) {
                continue;
            }
            return -1;
        }
    }

    bool InputWithin(int milliseconds) {
        pollfd entry{terminal_.Get(), POLLIN, 0};
        return poll(&entry, 1, milliseconds) > 0 && (entry.revents & POLLIN) != 0;
    }

    // Discards the rest of an escape sequence.
    void SkipSequence() {
        while (InputWithin(kSequenceWaitMs) && ReadKey() >= 0) {
        }
    }

private:
    platform::posix::Descriptor terminal_;
    termios saved_{};
    bool modesChanged_ = false;
};

}  // namespace

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    const UINT buttons = type & kButtonMask;
    if (buttons != MB_OK && buttons != MB_OKCANCEL) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const bool hasCancel = buttons == MB_OKCANCEL;
    switch (platform::posix::ShowDesktopMessageBox(text, caption, hasCancel)) {
    case platform::posix::DialogOutcome::Ok:
        return IDOK;
    case platform::posix::DialogOutcome::Cancel:
        return IDCANCEL;
    case platform::posix::DialogOutcome::Lost:
        // The display went away with the dialog up: no answer, and so no consent.
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    case platform::posix::DialogOutcome::NotShown:
        break;
    }

    Terminal terminal;
    if (terminal.IsEmpty()) {
        ReportNoTerminal();
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!terminal.StartRawInput()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const SignalGuard restoreOnSignal(terminal.Descriptor(), terminal.SavedModes());
    const bool shown = terminal.Write("\n=== MessageBox: ") && terminal.WriteVisible(caption != nullptr ? caption : "Error") &&
                       terminal.Write(" ===\n") && terminal.WriteText(text != nullptr ? text : "") &&
                       terminal.Write(hasCancel ? "=== [OK] [Cancel] (Enter: OK, Esc or c: Cancel) ===\n"
                                                : "=== [OK] (Enter: OK) ===\n");
    if (!shown) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }

    for (;;) {
        const int key = terminal.ReadKey();
        if (key < 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (key == '\r' || key == '\n') {
            terminal.Write("=== OK ===\n");
            return IDOK;
        }
        if (key == kEscape && terminal.InputWithin(kSequenceWaitMs)) {
            terminal.SkipSequence();
            continue;
        }
        if (hasCancel && (key == kEscape || key == 'c' || key == 'C' || key == kInterrupt)) {
            terminal.Write("=== Cancel ===\n");
            return IDCANCEL;
        }
        if (key == kInterrupt) {
            terminal.Write("=== OK ===\n");
            return IDOK;
        }
    }
}
