// A dialog shown by a child process of its own, so that a display cannot hold or end the
// program: one that never answers costs a bounded wait, and one that goes away while the
// dialog is up (the X server killed, the window's client killed) ends only the child.
#pragma once

#include <functional>

namespace platform::posix {

// What became of a dialog shown by a child process.
enum class DialogOutcome {
    NotShown,  // the child could not show it, or did not say in time that it would
    Ok,
    Cancel,
    Lost,  // the child ended with its dialog up and no answer given
};

// The child's side: what it tells the parent, which waits.
class DialogReport {
public:
    explicit DialogReport(int channel) : channel_(channel) {}

    // The display answered and the dialog is made: from now on the parent waits for the
    // answer without a deadline.
    void Shown() const;
    void Answer(bool ok) const;

private:
    void Send(char report) const;

    int channel_;
};

// Runs `show` in a child process that has no terminal, its standard input, output and
// error on /dev/null, and that ends with _exit when `show` returns (none of the program's
// exit handlers run there, none of its buffers is written twice); it ends with the parent
// on Linux.  Waits up to `shownWithinMs` for the child to report Shown, then for its answer
// without a deadline.  The child is reaped on every path, killed first unless it has ended
// by itself; with SIGCHLD ignored the system reaps it.
DialogOutcome ShowInChildProcess(const std::function<void(const DialogReport&)>& show, int shownWithinMs);

}  // namespace platform::posix
