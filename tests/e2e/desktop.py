"""The POSIX program on an X display: its message boxes are GTK dialogs on an Xvfb server
with openbox as the window manager. Each box is found as a new visible window of the
program's process, its title read with xprop, its picture taken with import and its text
read back with tesseract, and it is answered with xdotool's keys (Return: OK, Escape:
Cancel) once it has the focus."""

import difflib
import os
import re
import shutil
import subprocess
import time

from outcome import Box, Outcome
from player import PosixPlatform

TOOLS = ["Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "convert", "tesseract"]
_KEYS = {"ok": "Return", "cancel": "Escape"}
# What the button row of a box reads as, and the buttons it stands for.
_BUTTON_ROWS = {("ok",): ["ok"], ("cancel", "ok"): ["ok", "cancel"]}
_TITLE = re.compile(r'^_NET_WM_NAME\(UTF8_STRING\) = "(.*)"$')
_UTF8 = dict(os.environ, LC_ALL="C.UTF-8")
_LEAK_SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "desktop-lsan.supp")


class DisplayUnavailable(Exception):
    pass


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def ocr_languages():
    result = subprocess.run(["tesseract", "--list-langs"], capture_output=True, text=True)
    return set(result.stdout.split()[1:]) if result.returncode == 0 else set()


class XServer:
    """Xvfb on a free display number, with openbox managing its windows."""

    def __init__(self, work_dir):
        self.work_dir = work_dir
        self.processes = []
        self.display = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.work_dir, "xvfb.log"), "w")
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
            self.__exit__()
            raise DisplayUnavailable("Xvfb did not start: see xvfb.log")
        self.display = ":" + line
        env = self.environment()
        with open(os.path.join(self.work_dir, "openbox.log"), "w") as log:
            self.processes.append(subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=log,
                                                   stderr=subprocess.STDOUT))
        deadline = time.monotonic() + 20
        while subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
                             text=True).stdout.find("window id") < 0:
            if time.monotonic() > deadline:
                self.__exit__()
                raise DisplayUnavailable("openbox did not take over the display: see openbox.log")
            time.sleep(0.1)
        return self

    def environment(self, env=None):
        return dict(env if env is not None else os.environ, DISPLAY=self.display)

    def __exit__(self, *exception):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes = []


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


def misread_count(shown, expected):
    return sum(max(len(e.split()), len(s.split())) for e, s in text_differences(shown, expected))


def same_text(shown, expected):
    """OCR misreads a glyph here and there; one word in twenty may differ, so a text that
    is missing, cut by a line or another message's never passes."""
    return misread_count(shown, expected) <= max(1, len(tokens(expected)) // 20)


def _run(argv, env, check=True):
    result = subprocess.run(argv, env=env, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)}: {result.stderr.strip() or result.returncode}")
    return result.stdout


class DesktopPlatform(PosixPlatform):
    """The POSIX fwupgrade with no terminal, on the X server: its boxes must be dialogs."""

    def __init__(self, program, component, register_script, work_dir, server, shots_dir, keep=None):
        super().__init__(program, component, register_script, work_dir)
        self.server = server
        self.shots_dir = shots_dir
        self.keep = keep or {}  # box number -> file name under which its picture is kept
        self.shot_count = 0

    def same_text(self, shown, expected):
        return same_text(shown, expected)

    def environment(self, env, registered):
        env = self.server.environment(super().environment(env, registered))
        # No session bus here, and GTK's accessibility bridge would warn about it on every run.
        env["NO_AT_BRIDGE"] = "1"
        # A sanitized program: what the libraries under GTK keep until exit is not its leak.
        suppressions = ["suppressions=" + _LEAK_SUPPRESSIONS, "print_suppressions=0"]
        env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS")] + suppressions))
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
                    window = self._next_window(process, seen, deadline)
                    if window is None:
                        break
                    seen.add(window)
                    box = self._read_box(window, len(boxes) + 1, language)
                    boxes.append(box)
                    box.answer = row.answers[len(boxes) - 1] if len(boxes) <= len(row.answers) else "ok"
                    if row.unplug_before_answer == len(boxes):
                        open(marker, "w").close()
                    _run(["xdotool", "windowactivate", "--sync", window, "key", "--clearmodifiers",
                          _KEYS[box.answer]], self.server.environment())
                    if self._gone(window, process, deadline):
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
                problem = problem or f"box {number} stayed on the screen after {_KEYS[box.answer]}"
        if text:
            problem = problem or "the program wrote to its standard output or error"
        return Outcome(boxes, exit_code, problem, text)

    def _visible_windows(self, process):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(process.pid)],
                                env=self.server.environment(), capture_output=True, text=True)
        return result.stdout.split()

    def _next_window(self, process, seen, deadline):
        """The next dialog the program maps, or None once it has ended."""
        while time.monotonic() < deadline:
            fresh = [window for window in self._visible_windows(process) if window not in seen]
            if fresh:
                return fresh[0]
            if process.poll() is not None:
                return None
            time.sleep(0.1)
        return None

    def _gone(self, window, process, deadline):
        while time.monotonic() < deadline:
            if window not in self._visible_windows(process):
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
        framed = self._frame_geometry(window, env)
        if number in self.keep:
            _run(["convert", shot, "-crop", framed, "+repage", os.path.join(self.shots_dir, self.keep[number])], env)
            shutil.copy(shot, os.path.join(self.shots_dir, "screen-" + self.keep[number]))
        text = self._read_text(client, language, env)
        lines = [line for line in text.splitlines() if line.strip()]
        buttons = _BUTTON_ROWS.get(tuple(tokens(lines[-1])), []) if lines else []
        if buttons:
            lines.pop()
        return Box(caption, "\n".join(lines), buttons, None)

    def _geometry(self, window, env):
        info = _run(["xwininfo", "-id", window], env)
        value = {key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
                 for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")}
        return "{Width}x{Height}+{Absolute upper-left X}+{Absolute upper-left Y}".format(**value)

    def _frame_geometry(self, window, env):
        """The window with the title bar and border openbox puts around it."""
        root = re.search(r"Root window id: (0x[0-9a-f]+)", _run(["xwininfo", "-id", window, "-children"], env)).group(1)
        frame = window
        while True:
            parent = re.search(r"Parent window id: (0x[0-9a-f]+)",
                               _run(["xwininfo", "-id", frame, "-children"], env)).group(1)
            if parent == root:
                return self._geometry(frame, env)
            frame = parent

    def _settled_picture(self, window, shot, env):
        """Takes the screen until the dialog looks the same twice (GTK draws it after it
        is mapped); returns the picture of the dialog's own area."""
        client = shot[:-4] + "-dialog.png"
        previous = None
        for _ in range(20):
            _run(["import", "-window", "root", shot], env)
            _run(["convert", shot, "-crop", self._geometry(window, env), "+repage", "-strip", client], env)
            with open(client, "rb") as f:
                picture = f.read()
            if picture == previous:
                break
            previous = picture
            time.sleep(0.3)
        return client

    def _read_text(self, client, language, env):
        # Larger, grey and with a margin, the dialog's small text reads reliably.
        ready = client[:-4] + "-ocr.png"
        _run(["convert", client, "-colorspace", "Gray", "-resize", "300%", "-bordercolor", "white", "-border", "30",
              ready], env)
        return _run(["tesseract", ready, "stdout", "-l", language, "--psm", "6"], env)
