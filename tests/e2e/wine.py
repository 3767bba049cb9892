"""Windows programs under Wine: a private prefix made and entered through cmake/wine-run.sh,
drive letters mapped to card folders, and a program run under tools/harness/boxharness, which
reports each message box and answers it."""

import json
import os
import subprocess
import tempfile

from outcome import Box, Outcome

# wine-run.sh's exit code when the host cannot run the architecture's programs.
SKIPPED = 77


def windows_path(unix_path):
    """A host path as Windows programs in the prefix name it: Z: is the host's root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class WineUnavailable(Exception):
    """wine-run.sh cannot run programs of this architecture on this host; the message is its
    "wine-run: skipped: ..." line."""


class WinePrefix:
    def __init__(self, wine_run, prefix, arch):
        self.wine_run = wine_run
        self.prefix = os.path.abspath(prefix)
        self.arch = arch

    def run(self, arguments, env=None, timeout=180):
        environment = dict(os.environ)
        environment.update(env or {})
        # Output goes through files, not pipes: a wineserver started by this run inherits
        # them and lingers after the program ends, and a pipe would wait for it.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(["sh", self.wine_run, self.prefix, self.arch] + arguments, env=environment,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            output = out.read()
            if result.returncode == SKIPPED and output.startswith(b"wine-run: skipped:"):
                raise WineUnavailable(output.decode(errors="replace").strip())
            return subprocess.CompletedProcess(result.args, result.returncode, output, err.read())

    def _regsvr32(self, flags, dll):
        result = self.run(["regsvr32"] + flags + [windows_path(dll)])
        if result.returncode != 0:
            raise RuntimeError(f"regsvr32 {' '.join(flags)} {dll} failed with {result.returncode}: "
                               + result.stderr.decode(errors="replace"))

    def register(self, dll):
        self._regsvr32(["/s"], dll)

    def unregister(self, dll):
        self._regsvr32(["/u", "/s"], dll)

    def map_drive(self, letter, folder):
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(folder), link)

    def unmap_drive(self, letter):
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)

    def run_with_harness(self, harness, program, answers=(), touches=(), env=None, timeout_seconds=60):
        """Runs `program` under the harness; touches are (box number, host path) markers the
        harness creates just before it answers that box."""
        arguments = [windows_path(harness), "--timeout", str(timeout_seconds)]
        if answers:
            arguments += ["--answer", ",".join(answers)]
        for box, path in touches:
            arguments += ["--touch-before", f"{box}:{windows_path(path)}"]
        arguments += ["--", windows_path(program)]
        result = self.run(arguments, env=env, timeout=timeout_seconds + 60)
        output = result.stdout.decode("utf-8", errors="replace")
        boxes, exit_code, problem = [], None, None
        for line in output.splitlines():
            try:
                record = json.loads(line)
            except ValueError:
                problem = "harness wrote a line that is not JSON: " + line
                break
            if "box" in record:
                boxes.append(Box(record["caption"], record["text"], record["buttons"], record["answer"]))
            elif "exit" in record:
                exit_code = record["exit"]
            elif "error" in record:
                problem = "harness: " + record["error"]
        if problem is None and (result.returncode != 0 or exit_code is None):
            problem = f"harness ended with {result.returncode} without the program's exit code"
        if problem:
            output += result.stderr.decode("utf-8", errors="replace")
        return Outcome(boxes, exit_code, problem, output)
