"""The simulated camera component from the outside: the scenario file it plays and the call
log it writes (simcamera/README.md describes both)."""


def _quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def scenario_value(text):
    """A text as a scenario value that the component reports exactly."""
    return _quoted(text)


def scenario_text(cameras, faults=None, unplugged_marker=None, settings=None):
    """cameras: (model, drive path as a scenario value, item kind, selected kind or None)
    each; faults: operation -> rule text; settings: further [component] keys -> values."""
    lines = ["[component]"]
    if unplugged_marker:
        lines.append("unplugged_marker = " + _quoted(unplugged_marker))
    lines += [f"{key} = {value}" for key, value in (settings or {}).items()]
    if faults:
        lines.append("[faults]")
        lines += [f"{operation} = {rule}" for operation, rule in faults.items()]
    for model, drive, item, selected in cameras:
        lines += ["[camera]", "model = " + _quoted(model), "drive = " + drive, "item = " + item]
        if selected:
            lines.append("selected = " + selected)
    return "\n".join(lines) + "\n"


class ComponentLog:
    def __init__(self, path):
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                self.lines = f.read().splitlines()
        except FileNotFoundError:
            self.lines = []

    def calls(self):
        """The operations called on the component's objects, as "Kind Operation"."""
        calls = []
        for line in self.lines:
            words = line.split()
            if len(words) >= 3 and words[0] == "call" and "#" in words[1]:
                calls.append(words[1].split("#")[0] + " " + words[2])
        return calls

    def destroyed(self):
        """The kinds of the objects destroyed, in order."""
        return [line.split()[1].split("#")[0] for line in self.lines if line.startswith("destroy ")]

    def contains(self, text):
        return any(text in line for line in self.lines)

    def leftovers(self):
        """The component's own account at unload: "exit live=0", or None if it has none."""
        ends = [line for line in self.lines if line.startswith("exit ")]
        return ends[-1] if ends else None
