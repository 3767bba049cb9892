"""The message catalogue as the resource script states it, and the inserts filled in the
way the program fills them, so that every expected text comes from the translators' file
and not from a copy of it."""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "build", "resgen"))
from rcscript import read_ids, read_strings  # noqa: E402  (the build's own reader of the script)

# The resource ids by name, from their one home.
IDS = read_ids(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "ResourceIds.h"))
CAPTION = IDS["IDS_CAPTION"]
# Messages the program formats; every other text is shown exactly as loaded.
FORMATTED = {IDS[name] for name in ("IDS_SEVERAL_CAMERAS", "IDS_NO_CAMERA", "IDS_CONFIRM", "IDS_DISCONNECTED",
                                    "IDS_SOFTWARE_MISSING")}
# The confirmation is the one box with a Cancel button.
CONFIRMATION = IDS["IDS_CONFIRM"]

_INSERT = re.compile(r"%(\d{1,2})(?:!([^!]*)!)?|%%")


class Catalogue:
    """Texts by language id (primary | sublanguage << 10) and message id."""

    def __init__(self, path):
        self.tables = {}
        for (language, message), text in read_strings(path).items():
            self.tables.setdefault(language, {})[message] = text

    def languages(self):
        """The catalogue's languages in the order the script gives them."""
        return list(self.tables)

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
