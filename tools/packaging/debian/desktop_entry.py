#!/usr/bin/env python3
"""Writes the program's desktop entry (the applications menu's item) from its template:
@MODEL@ becomes the model's short name (the first word of the model name) and @COMMENTS@
a Comment line per language of the message catalogue, its caption (IDS_CAPTION). The
template's names must be in exactly the catalogue's languages.

  desktop_entry.py TEMPLATE CATALOGUE MODEL_NAME OUTPUT
"""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "resgen"))
from rcscript import read_ids, read_strings  # noqa: E402  (the build's own reader of the script)

# Primary language of a catalogue language id -> the locale suffix of a desktop entry's
# keys; English is the entry's default.
LOCALES = {0x09: "", 0x07: "de", 0x0A: "es", 0x0C: "fr", 0x10: "it", 0x11: "ja", 0x16: "pt"}


def key(name, locale):
    return f"{name}[{locale}]" if locale else name


def entry(template, catalogue, model_name):
    captions = {}
    # The ids' one home lies beside the catalogue.
    caption = read_ids(os.path.join(os.path.dirname(catalogue), "ResourceIds.h"))["IDS_CAPTION"]
    for (language, message), text in read_strings(catalogue).items():
        if message == caption:
            primary = language & 0x3FF
            if primary not in LOCALES:
                raise ValueError(f"catalogue language 0x{language:04X} has no desktop locale here")
            captions[LOCALES[primary]] = text
    names = {match.group(1) or "" for match in re.finditer(r"^Name(?:\[([^\]]+)\])?=", template, re.M)}
    if names != set(captions):
        raise ValueError(f"the template names the program in {sorted(names)}, the catalogue speaks {sorted(captions)}")
    comments = "\n".join(f"{key('Comment', locale)}={captions[locale]}" for locale in sorted(captions))
    return template.replace("@MODEL@", model_name.split()[0]).replace("@COMMENTS@", comments)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    template_path, catalogue, model_name, output = sys.argv[1:]
    with open(template_path, encoding="utf-8") as f:
        template = f.read()
    try:
        text = entry(template, catalogue, model_name)
    except ValueError as error:
        sys.exit(f"desktop_entry: {error}")
    with open(output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
