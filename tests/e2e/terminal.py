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
import resource
import select
import subprocess
import tempfile
import termios
import time

from outcome import Box, Outcome

_BOX = re.compile(rb"=== MessageBox: (.*?) ===\n(.*?)=== (\[OK\] \[Cancel\]|\[OK\]) \([^)]*\) ===\n", re.S)
_ANSWERED = re.compile(rb"=== (OK|Cancel) ===\n")
_KEYS = {"ok": b"\r", "cancel": b"\x1b"}


def _visible(character):
    """A character as the terminal box shows it: control characters in caret notation (C0,
    DEL) or as <U+XXXX> (C1, the line and paragraph separators); tabs and the rest as they are."""
    code = ord(character)
    if character in "\t\n":
        return character
    if code < 0x20 or code == 0x7F:
        return "^" + chr(code ^ 0x40)
    if 0x80 <= code <= 0x9F or character in "\u2028\u2029":
        return f"<U+{code:04X}>"
    return character


def as_printed(text):
    """A box text as the terminal shows it: every line break a single line feed, control
    characters visible."""
    return "".join(_visible(c) for c in text.replace("\r\n", "\n").replace("\r", "\n"))


def _starter(file_size_limit):
    """What the child runs before the program: after setsid, its standard input, the pty,
    becomes its controlling terminal; and the file-size limit, if any, is set (SIGXFSZ is
    back to its default there, as subprocess restores the signals Python ignores)."""

    def start():
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)
        if file_size_limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

    return start


class Screen:
    """What the terminal has shown, read box by box."""

    def __init__(self):
        self.data = b""
        self.position = 0
        self.waiting = None  # the box answered last, until the program acknowledges the answer
        self.stray = b""  # anything shown that is not part of a box
        self.held = b""  # a carriage return that ended the last chunk: its line feed may come next

    def add(self, chunk):
        chunk = self.held + chunk
        self.held = b"\r" if chunk.endswith(b"\r") else b""
        self.data += chunk[:len(chunk) - len(self.held)].replace(b"\r\n", b"\n")

    def next_box(self):
        """The next whole box not read yet, or None."""
        if self.waiting is not None:
            acknowledged = _ANSWERED.search(self.data, self.position)
            if not acknowledged:
                return None
            self._skip_to(acknowledged)
            self.waiting.acknowledged = acknowledged.group(1).decode().lower()
            self.waiting = None
        match = _BOX.search(self.data, self.position)
        if not match:
            return None
        self._skip_to(match)
        text = match.group(2)[:-1] if match.group(2).endswith(b"\n") else match.group(2)
        self.waiting = Box(match.group(1).decode("utf-8", errors="replace"), text.decode("utf-8", errors="replace"),
                           ["ok", "cancel"] if b"Cancel" in match.group(3) else ["ok"], None)
        return self.waiting

    def _skip_to(self, match):
        self.stray += self.data[self.position:match.start()].strip()
        self.position = match.end()

    def rest(self):
        return (self.stray + (self.data[self.position:] + self.held).strip()).decode("utf-8", errors="replace")


def run_in_terminal(argv, env, answers=(), before_answer=None, timeout_seconds=60, file_size_limit=None):
    """Runs argv on a fresh pty; box N gets answers[N-1] ("ok" or "cancel", default "ok").
    before_answer(N) runs just before box N is answered. file_size_limit: RLIMIT_FSIZE of
    the run in bytes, None for the caller's."""
    master, slave = os.openpty()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(argv, stdin=slave, stdout=out, stderr=err, env=env, start_new_session=True,
                                   preexec_fn=_starter(file_size_limit))
        os.close(slave)
        screen = Screen()
        boxes = []
        problem = None
        deadline = time.monotonic() + timeout_seconds
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
                screen.add(chunk)
                for box in iter(screen.next_box, None):
                    boxes.append(box)
                    box.answer = answers[len(boxes) - 1] if len(boxes) <= len(answers) else "ok"
                    if before_answer:
                        before_answer(len(boxes))
                    os.write(master, _KEYS[box.answer])
        finally:
            os.close(master)
            if problem is not None:
                process.kill()
            try:
                exit_code = process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                exit_code = process.wait()
                problem = problem or "the program did not end after its terminal closed"
        out.seek(0)
        err.seek(0)
        output = out.read().decode("utf-8", errors="replace") + err.read().decode("utf-8", errors="replace")
    for number, box in enumerate(boxes, 1):
        if box.acknowledged != box.answer:
            problem = problem or f"box {number} answered {box.answer}, the program took {box.acknowledged}"
    if screen.rest():
        problem = problem or "the terminal showed more than boxes: " + screen.rest()
    if output:
        problem = problem or "the program wrote to its standard output or error"
    return Outcome(boxes, exit_code, problem, output)
