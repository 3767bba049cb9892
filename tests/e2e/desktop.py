"""The POSIX program on an X display: its message boxes are GTK dialogs on an Xvfb server
with openbox as the window manager. Each box is found as a new visible window of the
program's process or of a child of it, checked to fit on the screen, its title read with
xprop, its picture taken with import and its text read back with tesseract, and it is
answered with xdotool's keys (Return: OK, Escape: Cancel) once it has the focus, or with
the pointer where the buttons are seen; or its display is lost while it is up (the X
server or the window's client killed). Displays that never answer: an X server stopped
with SIGSTOP, a socket that takes connections and never reads them."""

import difflib
import os
import re
import shutil
import signal
import socket
import subprocess
import time

from outcome import Box, Outcome
from player import PosixPlatform

TOOLS = ["Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "convert", "tesseract"]
_KEYS = {"ok": "Return", "cancel": "Escape"}
# What the button row of a box reads as, and the buttons it stands for.
_BUTTON_ROWS = {("ok",): ["ok"], ("cancel", "ok"): ["ok", "cancel"]}
_TITLE = re.compile(r'^_NET_WM_NAME\(UTF8_STRING\) = "(.*)"$')
# Tesseract in one thread: its OpenMP threads spin, which makes it several times slower on
# a busy machine.
_UTF8 = dict(os.environ, LC_ALL="C.UTF-8", OMP_THREAD_LIMIT="1")
# A window not drawn yet shows its background and at most a frame: no more colours than this.
_BLANK_COLOURS = 4
# The two readings of a text in a scrolled area, at its beginning and at its end.
_SCROLLED = "\n[scrolled]\n"
# The OCR picture: the dialog's area enlarged this many times, with this margin (pixels).
_OCR_SCALE = 3
_OCR_BORDER = 30


class DisplayUnavailable(Exception):
    pass


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def ocr_languages():
    result = subprocess.run(["tesseract", "--list-langs"], capture_output=True, text=True)
    return set(result.stdout.split()[1:]) if result.returncode == 0 else set()


class XServer:
    """Xvfb on a free display number, with openbox managing its windows unless
    `window_manager` is false."""

    def __init__(self, work_dir, window_manager=True):
        self.work_dir = work_dir
        self.window_manager = window_manager
        self.processes = []
        self.display = None

    def __enter__(self):
        # A server started while another one starts or ends (the desktop suites run side by
        # side) has been seen once to report a display that openbox then could not open; a
        # second server on a fresh number is what a user's session manager would do.
        for attempt in range(1, 4):
            problem = self._start()
            if problem is None:
                return self
            self.__exit__()
            if attempt == 3:
                raise DisplayUnavailable(problem)
            time.sleep(1)

    def _start(self):
        """Starts Xvfb and, where asked for, openbox; None once the display is managed, else
        what went wrong."""
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.work_dir, "xvfb.log"), "a")
        try:
            self.processes.append(subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT))
        finally:
            os.close(write_end)
            log.close()
        with os.fdopen(read_end) as number:
            line = number.readline().strip()
        if not line:
            return "Xvfb did not start: see xvfb.log"
        self.display = ":" + line
        if not self.window_manager:
            return None
        env = self.environment()
        with open(os.path.join(self.work_dir, "openbox.log"), "a") as log:
            self.processes.append(subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=log,
                                                   stderr=subprocess.STDOUT))
        deadline = time.monotonic() + 20
        while subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
                             text=True).stdout.find("window id") < 0:
            if time.monotonic() > deadline or self.processes[-1].poll() is not None:
                return f"openbox did not take over the display {self.display}: see openbox.log"
            time.sleep(0.1)
        return None

    def environment(self, env=None):
        return dict(env if env is not None else os.environ, DISPLAY=self.display)

    def freeze(self):
        """Stops the server: it keeps every connection and answers none."""
        os.kill(self.processes[0].pid, signal.SIGSTOP)

    def kill(self):
        """Ends the server at once, as a crash would: every client loses its display."""
        self.processes[0].kill()
        self.processes[0].wait()

    def __exit__(self, *exception):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGCONT)  # a frozen server acts on no other signal
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes = []


class SilentDisplay:
    """A display that never answers: a listening socket at a free X display's address,
    whose connections the system accepts and nothing ever reads. The display number is
    taken as X servers take theirs, with its lock file."""

    def __init__(self):
        self.display = None
        self.listener = None
        self.paths = []

    def __enter__(self):
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        for number in range(4000, 4100):
            lock = f"/tmp/.X{number}-lock"
            try:
                descriptor = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o444)
            except FileExistsError:
                continue
            with os.fdopen(descriptor, "w") as f:
                f.write(f"{os.getpid():10d}\n")
            self.paths = [lock]
            address = f"/tmp/.X11-unix/X{number}"
            if os.path.exists(address):
                self.__exit__()
                continue
            self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.listener.bind(address)
            self.paths.append(address)
            self.listener.listen(16)
            self.display = f":{number}"
            return self
        raise DisplayUnavailable("no free display number for a silent socket")

    def __exit__(self, *exception):
        if self.listener is not None:
            self.listener.close()
            self.listener = None
        for path in reversed(self.paths):
            os.remove(path)
        self.paths = []


def tokens(text):
    """A text as OCR can be held to: lower-case words without punctuation, and each
    character of a word in a script written without spaces (Japanese) on its own."""
    found = []
    for word in re.findall(r"[^\W_]+", text.lower()):
        if any(ord(c) >= 0x2E80 for c in word):
            found.extend(word)
        else:
            found.append(word)
    return found


def text_differences(shown, expected):
    """The expected words that the text read back misses, misreads or has in excess, as
    (expected, read) pairs of word runs."""
    a, b = tokens(expected), tokens(shown)
    matcher = difflib.SequenceMatcher(None, a, b, autojunk=False)
    return [(" ".join(a[i1:i2]), " ".join(b[j1:j2])) for op, i1, i2, j1, j2 in matcher.get_opcodes() if op != "equal"]


def _characters(text):
    """The letters, digits and hyphens of a text, in lower case."""
    return "".join(re.findall(r"[^\W_]|-", text.lower()))


def _matched_share(part, against):
    matcher = difflib.SequenceMatcher(None, part, against, autojunk=False)
    return sum(block.size for block in matcher.get_matching_blocks()) / len(part)


def same_scrolled_text(shown, expected):
    """A text in a scrolled area, read at its beginning and at its end (with lines cut by
    the area's edges left out): the two readings must be the expected text's beginning and
    end, character for character but for OCR's few misreads (one in twenty), each must show
    a good part of it, and neither may have more hyphens than the text has there (a word
    broken across lines must not gain one: the text is shown as it is). Characters, not
    words: a name too long for a line is broken anywhere."""
    whole = _characters(expected)
    head, tail = (_characters(part) for part in shown.split(_SCROLLED))
    slack = 11 / 10  # OCR may miss characters: the reading covers a little more of the text
    for part, text in ((head, whole[:int(len(head) * slack)]), (tail, whole[-int(len(tail) * slack):])):
        if len(part) < 100 or _matched_share(part, text) < 0.95 or part.count("-") > text.count("-"):
            return False
    return True


def misread_count(shown, expected):
    return sum(max(len(e.split()), len(s.split())) for e, s in text_differences(shown, expected))


def same_text(shown, expected):
    """OCR misreads a glyph here and there; one word in twenty may differ, so a text that
    is missing, cut by a line or another message's never passes."""
    return misread_count(shown, expected) <= max(1, len(tokens(expected)) // 20)


def _family(pid):
    """The process and its children."""
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [pid] + [int(child) for child in f.read().split()]
    except OSError:
        return [pid]


def _run(argv, env, check=True):
    result = subprocess.run(argv, env=env, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)}: {result.stderr.strip() or result.returncode}")
    return result.stdout


class DesktopPlatform(PosixPlatform):
    """The POSIX fwupgrade with no terminal, on the X server: its boxes must be dialogs, each
    on the screen whole.

    A box the row answers "lost" loses its display instead: with `loss` "server" the X
    server is killed, with "client" the dialog's X client (as xkill does). With `pointer`,
    each box's text is read, then scrolled to its end with the wheel and read again, and the
    box is answered by clicking its button where OCR sees it on the screen."""

    def __init__(self, program, component, register_script, work_dir, server, shots_dir, keep=None, loss=None,
                 pointer=False):
        super().__init__(program, component, register_script, work_dir)
        self.server = server
        self.shots_dir = shots_dir
        self.keep = keep or {}  # box number -> file name under which its picture is kept
        self.loss = loss
        self.pointer = pointer
        self.shot_count = 0

    def same_text(self, shown, expected):
        return same_scrolled_text(shown, expected) if _SCROLLED in shown else same_text(shown, expected)

    def environment(self, env, registered):
        env = self.server.environment(super().environment(env, registered))
        # No session bus here, and GTK's accessibility bridge would warn about it on every run.
        env["NO_AT_BRIDGE"] = "1"
        return env

    def run(self, row, env, marker, timeout_seconds=90):
        env = self.environment(env, row.registered)
        language = "jpn+eng" if env.get("LC_ALL", "").startswith("ja") else "eng"
        out_path = os.path.join(self.shots_dir, "output.txt")
        boxes, problem = [], None
        with open(out_path, "w+b") as output:
            # A session of its own and no terminal: a box shown on the terminal fails there.
            process = subprocess.Popen([self.program], env=env, stdin=subprocess.DEVNULL, stdout=output,
                                       stderr=output, start_new_session=True)
            deadline = time.monotonic() + timeout_seconds
            try:
                seen = set()
                while True:
                    found = self._next_window(process, seen, deadline)
                    if found is None:
                        break
                    seen.add(found)
                    window = found[1]
                    number = len(boxes) + 1
                    box, words = self._read_box(window, number, language)
                    boxes.append(box)
                    misfit = self._misfit(window)
                    if misfit:
                        problem = problem or f"box {number} {misfit}"
                    box.answer = row.answers[number - 1] if number <= len(row.answers) else "ok"
                    if row.unplug_before_answer == number:
                        open(marker, "w").close()
                    self._answer(window, box.answer, words)
                    if self._gone(found, process, deadline):
                        box.acknowledged = box.answer
            except RuntimeError as error:
                problem = str(error)
            if time.monotonic() >= deadline:
                problem = problem or f"timeout after box {len(boxes)}"
            if problem is not None:
                process.kill()
            exit_code = process.wait()
            output.seek(0)
            text = output.read().decode("utf-8", errors="replace")
        for number, box in enumerate(boxes, 1):
            if box.acknowledged is None:
                problem = problem or f"box {number} stayed on the screen after its answer, {box.answer}"
        if text:
            problem = problem or "the program wrote to its standard output or error"
        return Outcome(boxes, exit_code, problem, text)

    def _visible_windows(self, process):
        """The visible windows of the process and its children, each as (process id, window
        id): a child's window may have the number of an earlier child's."""
        windows = []
        for pid in _family(process.pid):
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                                    env=self.server.environment(), capture_output=True, text=True)
            windows += [(pid, window) for window in result.stdout.split()]
        return windows

    def _answer(self, window, answer, words):
        env = self.server.environment()
        if answer == "lost" and self.loss == "server":
            self.server.kill()
        elif answer == "lost" and self.loss == "client":
            _run(["xdotool", "windowkill", window], env)
        elif answer == "lost":
            raise ValueError("a row loses the display of a platform that has no way to lose it")
        elif self.pointer:
            x, y = self._button_position(window, words, answer)
            _run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], env)
        else:
            _run(["xdotool", "windowactivate", "--sync", window, "key", "--clearmodifiers", _KEYS[answer]], env)

    def _misfit(self, window):
        """How the window with its frame leaves the screen; None when it is on it whole."""
        env = self.server.environment()
        width, height, x, y = self._placement(self._frame(window, env), env)
        root = _run(["xwininfo", "-root"], env)
        screen = [int(re.search(key + r":\s+(\d+)", root).group(1)) for key in ("Width", "Height")]
        if x < 0 or y < 0 or x + width > screen[0] or y + height > screen[1]:
            return f"({width}x{height}+{x}+{y}) does not fit on the {screen[0]}x{screen[1]} screen"
        return None

    def _next_window(self, process, seen, deadline):
        """The next dialog the program maps, or None once it has ended."""
        while time.monotonic() < deadline:
            fresh = [found for found in self._visible_windows(process) if found not in seen]
            if fresh:
                return fresh[0]
            if process.poll() is not None:
                return None
            time.sleep(0.1)
        return None

    def _gone(self, found, process, deadline):
        while time.monotonic() < deadline:
            if found not in self._visible_windows(process):
                return True
            time.sleep(0.1)
        return False

    def _read_box(self, window, number, language):
        env = self.server.environment(_UTF8)
        title = _TITLE.match(_run(["xprop", "-id", window, "_NET_WM_NAME"], env).strip())
        caption = title.group(1).replace('\\"', '"').replace("\\\\", "\\") if title else None
        self.shot_count += 1
        shot = os.path.join(self.shots_dir, f"shot{self.shot_count}.png")
        client = self._settled_picture(window, shot, env)
        framed = self._geometry(self._frame(window, env), env)
        if number in self.keep:
            _run(["convert", shot, "-crop", framed, "+repage", os.path.join(self.shots_dir, self.keep[number])], env)
            shutil.copy(shot, os.path.join(self.shots_dir, "screen-" + self.keep[number]))
        lines, buttons, words = self._read_lines(client, language, env)
        text = "\n".join(lines)
        if self.pointer:
            scrolled = self._scrolled_to_end(window, client, env)
            if scrolled is not None:
                tail, buttons, words = self._read_lines(scrolled, language, env)
                # The area's edges may cut a line in two.
                text = "\n".join(lines[:-1]) + _SCROLLED + "\n".join(tail[1:])
        return Box(caption, text, buttons, None), words

    def _read_lines(self, client, language, env):
        """The lines of text in the dialog's picture, the buttons of its last line, and the
        words OCR found with their places in the picture it read (tesseract's TSV rows)."""
        text, words = self._read_text(client, language, env)
        lines = [line for line in text.splitlines() if line.strip()]
        buttons = _BUTTON_ROWS.get(tuple(tokens(lines[-1])), []) if lines else []
        if buttons:
            lines.pop()
        return lines, buttons, words

    def _scrolled_to_end(self, window, client, env):
        """Turns the wheel over the dialog's text until it can go no further; the new picture
        of the dialog, or None when the text did not move."""
        width, height, x, y = self._placement(window, env)
        _run(["xdotool", "mousemove", "--sync", str(x + width // 2), str(y + height // 3), "click", "--repeat", "40",
              "--delay", "20", "5"], env)
        self.shot_count += 1
        scrolled = self._settled_picture(window, os.path.join(self.shots_dir, f"shot{self.shot_count}.png"), env)
        with open(client, "rb") as before, open(scrolled, "rb") as after:
            return None if before.read() == after.read() else scrolled

    def _button_position(self, window, words, answer):
        """Where on the screen the answer's button shows its label, as OCR found it in the
        dialog's last line of text."""
        last = max((int(w[2]), int(w[3]), int(w[4])) for w in words) if words else None
        for w in words:
            if (int(w[2]), int(w[3]), int(w[4])) == last and tokens(w[11]) == [answer]:
                left, top, width, height = (int(n) for n in w[6:10])
                x, y = self._placement(window, self.server.environment())[2:]
                return (x + (left + width // 2 - _OCR_BORDER) // _OCR_SCALE,
                        y + (top + height // 2 - _OCR_BORDER) // _OCR_SCALE)
        raise RuntimeError(f"no {answer} button seen in the dialog's last line")

    def _placement(self, window, env):
        """The window's width, height and place on the screen (x, y)."""
        info = _run(["xwininfo", "-id", window], env)
        return tuple(int(re.search(key + r":\s+(-?\d+)", info).group(1))
                     for key in ("Width", "Height", "Absolute upper-left X", "Absolute upper-left Y"))

    def _geometry(self, window, env):
        return "{}x{}+{}+{}".format(*self._placement(window, env))

    def _frame(self, window, env):
        """The window openbox puts around the dialog, with its title bar and border."""
        root = re.search(r"Root window id: (0x[0-9a-f]+)", _run(["xwininfo", "-id", window, "-children"], env)).group(1)
        frame = window
        while True:
            parent = re.search(r"Parent window id: (0x[0-9a-f]+)",
                               _run(["xwininfo", "-id", frame, "-children"], env)).group(1)
            if parent == root:
                return frame
            frame = parent

    def _settled_picture(self, window, shot, env):
        """Takes the screen until the dialog looks the same twice, drawn (GTK draws it after
        it is mapped, and a slow child, under the sanitizers say, shows a blank window for a
        while: one that looks the same twice); returns the picture of the dialog's own area."""
        client = shot[:-4] + "-dialog.png"
        previous = None
        for _ in range(40):
            _run(["import", "-window", "root", shot], env)
            _run(["convert", shot, "-crop", self._geometry(window, env), "+repage", "-strip", client], env)
            with open(client, "rb") as f:
                picture = f.read()
            drawn = int(_run(["identify", "-format", "%k", client], env).strip() or 0) > _BLANK_COLOURS
            if drawn and picture == previous:
                break
            previous = picture
            time.sleep(0.3)
        return client

    def _read_text(self, client, language, env):
        """The text OCR reads in the dialog's picture, and its words (TSV rows)."""
        # Larger, grey and with a margin, the dialog's small text reads reliably.
        ready = client[:-4] + "-ocr.png"
        _run(["convert", client, "-colorspace", "Gray", "-resize", f"{_OCR_SCALE * 100}%", "-bordercolor", "white",
              "-border", str(_OCR_BORDER), ready], env)
        _run(["tesseract", ready, ready[:-4], "-l", language, "--psm", "6", "txt", "tsv"], env)
        with open(ready[:-4] + ".txt", encoding="utf-8") as f:
            text = f.read()
        with open(ready[:-4] + ".tsv", encoding="utf-8") as f:
            rows = [line.rstrip("\n").split("\t") for line in f.readlines()[1:]]
        return text, [row for row in rows if len(row) == 12 and row[0] == "5" and row[11].strip()]
