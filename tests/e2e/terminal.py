"""The POSIX program driven through a pseudo-terminal: its message boxes appear on its
controlling terminal (/dev/tty, here the pty), between marker lines:

    === MessageBox: <caption> ===
    <text>
    === [OK] [Cancel] (Enter: OK, Esc or c: Cancel) ===     or  === [OK] (Enter: OK) ===
    === OK ===                                               or  === Cancel ===

Each box is answered once its buttons line has been read (keys typed earlier are dropped
by the program). Standard output and error are kept apart from the terminal, so that a
sanitizer report cannot pass for a box."""

import fcntl
import os
import re
import select
import subprocess
import tempfile
import termios
import time

from outcome import Box, Outcome

_BOX = re.compile(rb"=== MessageBox: (.*?) ===\n(.*?)=== (\[OK\] \[Cancel\]|\[OK\]) \([^)]*\) ===\n", re.S)
_ANSWERED = re.compile(rb"=== (OK|Cancel) ===\n")
_KEYS = {"ok": b"\r", "cancel": b"\x1b"}


def as_printed(text):
    """A box text as the terminal shows it: every line break a single line feed."""
    return text.replace("\r\n", "\n").replace("\r", "\n")


def _take_terminal():
    # In the child, after setsid: its standard input, the pty, becomes its controlling terminal.
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


def run_in_terminal(argv, env, answers=(), before_answer=None, timeout_seconds=60):
    """Runs argv on a fresh pty; box N gets answers[N-1] ("ok" or "cancel", default "ok").
    before_answer(N) runs just before box N is answered."""
    master, slave = os.openpty()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(argv, stdin=slave, stdout=out, stderr=err, env=env, start_new_session=True,
                                   preexec_fn=_take_terminal)
        os.close(slave)
        screen = b""
        boxes = []
        pending = None  # the box read and answered, whose answer line is still to come
        problem = None
        deadline = time.monotonic() + timeout_seconds
        position = 0
        try:
            while True:
                left = deadline - time.monotonic()
                if left <= 0:
                    problem = f"timeout after box {len(boxes)}"
                    break
                ready, _, _ = select.select([master], [], [], min(left, 0.5))
                if not ready:
                    continue
                try:
                    chunk = os.read(master, 65536)
                except OSError:  # every holder of the pty's other side has closed it
                    break
                if not chunk:
                    break
                screen += chunk.replace(b"\r\n", b"\n")
                while True:
                    if pending is not None:
                        answered = _ANSWERED.search(screen, position)
                        if not answered:
                            break
                        pending.answered_as = answered.group(1).decode().lower()
                        position = answered.end()
                        pending = None
                    match = _BOX.search(screen, position)
                    if not match:
                        break
                    number = len(boxes) + 1
                    answer = answers[number - 1] if number <= len(answers) else "ok"
                    text = match.group(2)[:-1] if match.group(2).endswith(b"\n") else match.group(2)
                    box = Box(match.group(1).decode("utf-8", errors="replace"), text.decode("utf-8", errors="replace"),
                              ["ok", "cancel"] if b"Cancel" in match.group(3) else ["ok"], answer)
                    boxes.append(box)
                    position = match.end()
                    if before_answer:
                        before_answer(number)
                    os.write(master, _KEYS[answer])
                    pending = box
        finally:
            os.close(master)
            if process.poll() is None and problem is not None:
                process.kill()
            try:
                exit_code = process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                exit_code = process.wait()
                problem = problem or "the program did not end after its terminal closed"
        out.seek(0)
        err.seek(0)
        output = out.read().decode("utf-8", errors="replace")
        errors = err.read().decode("utf-8", errors="replace")
    for box in boxes:
        if getattr(box, "answered_as", box.answer) != box.answer:
            problem = problem or f"a box answered {box.answer} reported {box.answered_as}"
        elif not hasattr(box, "answered_as"):
            problem = problem or "a box was answered but the program did not say so"
    rest = screen[position:].strip()
    if rest:
        problem = problem or "the terminal showed more than boxes: " + rest.decode("utf-8", errors="replace")
    if output or errors:
        problem = problem or "the program wrote to its standard output or error"
    outcome = Outcome(boxes, exit_code, problem, output + errors)
    return outcome
