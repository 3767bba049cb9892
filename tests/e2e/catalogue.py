"""The message catalogue as the resource script states it, and the inserts filled in the
way the program fills them, so that every expected text comes from the translators' file
and not from a copy of it."""

import re

CAPTION = 136
# Messages the program formats; every other text is shown exactly as loaded.
FORMATTED = {132, 133, 134, 135, 137}
# The confirmation is the one box with a Cancel button.
CONFIRMATION = 134

_LANGUAGE = re.compile(r"^\s*LANGUAGE\s+(0x[0-9A-Fa-f]+|\d+)\s*,\s*(0x[0-9A-Fa-f]+|\d+)\s*$")
_ENTRY = re.compile(r'^\s*(\d+)\s*,\s*"((?:[^"\\]|\\.|"")*)"\s*$')
_ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", '"': '"'}
_INSERT = re.compile(r"%(\d{1,2})(?:!([^!]*)!)?|%%")


def _unescape(body):
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            e = body[i + 1]
            if e not in _ESCAPES:
                raise ValueError("unknown escape \\" + e)
            out.append(_ESCAPES[e])
            i += 2
        elif c == '"':  # "" stands for one double quote
            out.append('"')
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Catalogue:
    """Texts by language id (primary | sublanguage << 10) and message id."""

    def __init__(self, path):
        self.tables = {}
        language = None
        in_table = False
        with open(path, encoding="utf-8") as script:
            for number, line in enumerate(script, 1):
                stripped = line.strip()
                if stripped.startswith("//") or not stripped:
                    continue
                match = _LANGUAGE.match(line)
                if match:
                    primary, sub = (int(v, 0) for v in match.groups())
                    language = primary | (sub << 10)
                    continue
                if stripped == "BEGIN":
                    in_table = True
                    self.tables.setdefault(language, {})
                    continue
                if stripped == "END":
                    in_table = False
                    continue
                if in_table:
                    match = _ENTRY.match(line)
                    if not match:
                        raise ValueError(f"{path}:{number}: not a string-table entry")
                    self.tables[language][int(match.group(1))] = _unescape(match.group(2))

    def text(self, language, message):
        return self.tables[language][message]

    def caption(self, language):
        return self.text(language, CAPTION)

    def shown(self, language, message, inserts=()):
        """The text of `message` as its box shows it."""
        text = self.text(language, message)
        return format_message(text, inserts) if message in FORMATTED else text


def format_message(text, inserts):
    """Numbered inserts %1..%99, with an optional !printf-form! (d for a number), and %%."""

    def replace(match):
        if match.group(0) == "%%":
            return "%"
        value = inserts[int(match.group(1)) - 1]
        form = match.group(2)
        if form is None or form == "s":
            return str(value)
        if form == "d":
            return "%d" % int(value)
        raise ValueError("insert form !%s! not known here" % form)

    return _INSERT.sub(replace, text)


def buttons(message):
    return ["ok", "cancel"] if message == CONFIRMATION else ["ok"]
