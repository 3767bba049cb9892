"""Reads the subset of the resource-script language that the project's scripts use and
turns it into resources as the Windows resource compiler lays them out.

Accepted:
  #include "file"                       (searched beside the including file, then on the
                                        include path)
  #define NAME number                   (a name for a number, wherever a number may stand;
                                        resources/ResourceIds.h)
  #pragma code_page(65001)              (the only code page: scripts are UTF-8)
  #pragma once                          (a header is read where it is included)
  // and /* */ comments
  LANGUAGE primary, sub
  STRINGTABLE BEGIN id, "text" ... END  (adjacent strings are joined; escapes \\r \\n \\t
                                        \\\\ and "" for a quote)
  id RCDATA "file"
  id ICON "file"
  id type "file"                        (numeric type, the file's bytes)
  id type BEGIN word, word ... END      (numeric type, 16-bit little-endian words)

Anything else is an error, so the embedded copy never silently differs from what the
resource compiler makes of the same script.
"""

import os
import re
import struct

RT_ICON = 3
RT_STRING = 6
RT_RCDATA = 10
RT_GROUP_ICON = 14

# The Windows ANSI code page of each primary language: a text must be writable in its
# language's code page, because the utility converts it to that code page before showing
# it.  A fact of Windows, not a list of the catalogue's languages; a language whose code
# page depends on its region (Chinese, Serbian) is left out until a script needs it.
_CODE_PAGES = {
    0x00: "ascii",  # language-neutral test tables
    0x01: "cp1256",  # Arabic
    0x02: "cp1251",  # Bulgarian
    0x03: "cp1252",  # Catalan
    0x05: "cp1250",  # Czech
    0x06: "cp1252",  # Danish
    0x07: "cp1252",  # German
    0x08: "cp1253",  # Greek
    0x09: "cp1252",  # English
    0x0A: "cp1252",  # Spanish
    0x0B: "cp1252",  # Finnish
    0x0C: "cp1252",  # French
    0x0D: "cp1255",  # Hebrew
    0x0E: "cp1250",  # Hungarian
    0x0F: "cp1252",  # Icelandic
    0x10: "cp1252",  # Italian
    0x11: "cp932",  # Japanese
    0x12: "cp949",  # Korean
    0x13: "cp1252",  # Dutch
    0x14: "cp1252",  # Norwegian
    0x15: "cp1250",  # Polish
    0x16: "cp1252",  # Portuguese
    0x18: "cp1250",  # Romanian
    0x19: "cp1251",  # Russian
    0x1B: "cp1250",  # Slovak
    0x1D: "cp1252",  # Swedish
    0x1E: "cp874",  # Thai
    0x1F: "cp1254",  # Turkish
    0x22: "cp1251",  # Ukrainian
    0x24: "cp1250",  # Slovenian
    0x25: "cp1257",  # Estonian
    0x26: "cp1257",  # Latvian
    0x27: "cp1257",  # Lithuanian
    0x2A: "cp1258",  # Vietnamese
}


def _fits_code_page(character, codec):
    """Whether the character survives the trip to the code page and back.  Python's
    encoders take some characters to a look-alike (U+301C to the code of U+FF5E in 932),
    where Windows gives the default character; the return trip finds those."""
    try:
        return character.encode(codec).decode(codec) == character
    except UnicodeError:
        return False


class ScriptError(Exception):
    pass


class Resource:
    def __init__(self, rtype, name, language, data):
        self.rtype = rtype
        self.name = name
        self.language = language
        self.data = data

    def key(self):
        return (self.rtype, self.name, self.language)


_TOKEN = re.compile(
    r"""
    (?P<space>[ \t\r\n]+)
  | (?P<number>0[xX][0-9A-Fa-f]+|[0-9]+)
  | (?P<word>[A-Za-z_][A-Za-z_0-9]*)
  | (?P<string>"(?:[^"\n]|"")*")
  | (?P<punct>[,{}])
    """,
    re.VERBOSE,
)

_ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}


def _unquote(literal, where):
    body = literal[1:-1].replace('""', '"')
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 >= len(body) or body[i + 1] not in _ESCAPES:
                raise ScriptError(f"{where}: unsupported escape in {literal[:40]}...")
            out.append(_ESCAPES[body[i + 1]])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class _Token:
    def __init__(self, kind, text, where):
        self.kind = kind
        self.text = text
        self.where = where


def _strip_comments(text, where):
    """Removes // and /* */ comments outside string literals, keeping line breaks."""
    out = []
    i = 0
    in_string = False
    while i < len(text):
        c = text[i]
        if in_string:
            out.append(c)
            if c == '"':
                if text.startswith('""', i):
                    out.append('"')
                    i += 1
                else:
                    in_string = False
            i += 1
        elif c == '"':
            in_string = True
            out.append(c)
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = len(text) if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise ScriptError(f"{where}: unterminated comment")
            out.append("\n" * text.count("\n", i, end))
            i = end + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class _Reader:
    def __init__(self, include_dirs):
        self.include_dirs = include_dirs
        self.sources = []
        self.defines = {}  # name -> number

    def find(self, name, beside, where):
        for folder in [beside] + self.include_dirs:
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                return path
        raise ScriptError(f"{where}: cannot find {name}")

    def tokens(self, path):
        self.sources.append(path)
        with open(path, encoding="utf-8") as f:
            text = _strip_comments(f.read(), path)
        for number, line in enumerate(text.split("\n"), 1):
            where = f"{path}:{number}"
            stripped = line.strip()
            if stripped.startswith("#"):
                yield from self._directive(stripped, path, where)
                continue
            pos = 0
            while pos < len(line):
                m = _TOKEN.match(line, pos)
                if not m:
                    raise ScriptError(f"{where}: cannot read {line[pos:pos + 20]!r}")
                pos = m.end()
                if m.lastgroup != "space":
                    yield _Token(m.lastgroup, m.group(), where)

    def _directive(self, line, path, where):
        m = re.fullmatch(r'#\s*include\s+"([^"]+)"', line)
        if m:
            yield from self.tokens(self.find(m.group(1), os.path.dirname(path), where))
            return
        m = re.fullmatch(r"#\s*define\s+([A-Za-z_][A-Za-z_0-9]*)\s+(\d+)", line)
        if m:
            if m.group(1) in self.defines:
                raise ScriptError(f"{where}: {m.group(1)} defined twice")
            self.defines[m.group(1)] = int(m.group(2))
            return
        if re.fullmatch(r"#\s*pragma\s+once", line):
            return
        m = re.fullmatch(r"#\s*pragma\s+code_page\s*\(\s*(\d+)\s*\)", line)
        if m:
            if m.group(1) != "65001":
                raise ScriptError(f"{where}: scripts are UTF-8; code page {m.group(1)} is not supported")
            return
        raise ScriptError(f"{where}: unsupported directive {line!r}")


class _Parser:
    def __init__(self, tokens, reader):
        self.tokens = list(tokens)
        self.pos = 0
        self.reader = reader
        self.language = 0
        self.strings = {}  # (language, id) -> text
        self.resources = []
        self.icon_count = 0

    def peek(self):
        return self.tokens[self.pos] if self.pos < len(self.tokens) else None

    def take(self, kind=None, text=None):
        token = self.peek()
        if token is None:
            raise ScriptError("unexpected end of script")
        if (kind and token.kind != kind) or (text and token.text.upper() != text):
            raise ScriptError(f"{token.where}: expected {text or kind}, found {token.text!r}")
        self.pos += 1
        return token

    def number(self):
        token = self.peek()
        if token is not None and token.kind == "word" and token.text in self.reader.defines:
            self.take()
            return self.reader.defines[token.text], token.where
        token = self.take("number")
        return int(token.text, 0), token.where

    def at_number(self):
        token = self.peek()
        return token is not None and (token.kind == "number" or
                                      (token.kind == "word" and token.text in self.reader.defines))

    def parse(self):
        while self.peek() is not None:
            token = self.peek()
            if token.kind == "word" and token.text.upper() == "LANGUAGE":
                self.take()
                primary, _ = self.number()
                self.take("punct", ",")
                sub, _ = self.number()
                self.language = (sub << 10) | primary
            elif token.kind == "word" and token.text.upper() == "STRINGTABLE":
                self.take()
                self.string_table()
            elif self.at_number():
                self.resource()
            else:
                raise ScriptError(f"{token.where}: unexpected {token.text!r}")
        return self.string_blocks() + self.resources

    def begin(self):
        token = self.take()
        if token.text.upper() not in ("BEGIN", "{"):
            raise ScriptError(f"{token.where}: expected BEGIN, found {token.text!r}")

    def at_end(self):
        token = self.peek()
        if token is not None and token.text.upper() in ("END", "}"):
            self.take()
            return True
        return False

    def string_table(self):
        codec = _CODE_PAGES.get(self.language & 0x3FF)
        self.begin()
        while not self.at_end():
            ident, where = self.number()
            if self.peek() is not None and self.peek().text == ",":
                self.take()
            parts = [self.take("string")]
            while self.peek() is not None and self.peek().kind == "string":
                parts.append(self.take())
            text = "".join(_unquote(p.text, p.where) for p in parts)
            if codec is None:
                raise ScriptError(f"{where}: no code page known for language 0x{self.language:04X}")
            for character in text:
                if not _fits_code_page(character, codec):
                    raise ScriptError(f"{where}: text {ident} has {character!r}, which code page {codec} cannot show")
            if not 0 <= ident <= 0xFFFF:
                raise ScriptError(f"{where}: id {ident} out of range")
            if (self.language, ident) in self.strings:
                raise ScriptError(f"{where}: id {ident} twice in language 0x{self.language:04X}")
            self.strings[(self.language, ident)] = (text, where)

    def resource(self):
        name, where = self.number()
        token = self.take()
        if token.kind == "word" and token.text.upper() == "RCDATA":
            rtype = RT_RCDATA
        elif token.kind == "word" and token.text.upper() == "ICON":
            path = self.reader.find(self.take("string").text[1:-1], "", where)
            self.reader.sources.append(path)
            self.icon(name, path, where)
            return
        elif token.kind == "number":
            rtype = int(token.text, 0)
        else:
            raise ScriptError(f"{where}: unsupported resource type {token.text!r}")
        if self.peek() is not None and self.peek().kind == "string":
            path = self.reader.find(self.take().text[1:-1], "", where)
            self.reader.sources.append(path)
            with open(path, "rb") as f:
                data = f.read()
        else:
            self.begin()
            words = []
            while not self.at_end():
                value, value_where = self.number()
                if not 0 <= value <= 0xFFFF:
                    raise ScriptError(f"{value_where}: {value} is not a 16-bit word")
                words.append(value)
                if self.peek() is not None and self.peek().text == ",":
                    self.take()
            data = struct.pack(f"<{len(words)}H", *words)
        self.add(rtype, name, data, where)

    def icon(self, name, path, where):
        """An icon file becomes one RT_ICON per image, numbered from 1 across the script
        in the order met, and an RT_GROUP_ICON that lists them."""
        with open(path, "rb") as f:
            ico = f.read()
        reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
        if reserved != 0 or kind != 1 or count == 0:
            raise ScriptError(f"{where}: {path} is not an icon file")
        group = struct.pack("<HHH", 0, 1, count)
        for i in range(count):
            width, height, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            self.icon_count += 1
            self.add(RT_ICON, self.icon_count, ico[offset:offset + size], where)
            group += struct.pack("<BBBBHHIH", width, height, colours, 0, planes, bits, size, self.icon_count)
        self.add(RT_GROUP_ICON, name, group, where)

    def add(self, rtype, name, data, where):
        resource = Resource(rtype, name, self.language, data)
        if any(r.key() == resource.key() for r in self.resources):
            raise ScriptError(f"{where}: resource {rtype}/{name} twice in language 0x{self.language:04X}")
        self.resources.append(resource)

    def string_blocks(self):
        """Texts in blocks of 16 ids: block name id / 16 + 1, each entry a 16-bit count
        and that many UTF-16 units, 0 for an absent text."""
        blocks = {}
        for (language, ident), (text, where) in self.strings.items():
            blocks.setdefault((language, ident // 16 + 1), {})[ident % 16] = text
        result = []
        for (language, block), entries in blocks.items():
            data = b""
            for entry in range(16):
                units = entries.get(entry, "").encode("utf-16-le")
                data += struct.pack("<H", len(units) // 2) + units
            result.append(Resource(RT_STRING, block, language, data))
        return result


def read_script(path, include_dirs):
    """The resources a script defines, sorted as a resource directory is (type, name,
    language), and the files it read."""
    reader = _Reader(include_dirs)
    parser = _Parser(reader.tokens(path), reader)
    resources = parser.parse()
    resources.sort(key=Resource.key)
    return resources, reader.sources


def read_ids(path):
    """The names a header such as resources/ResourceIds.h defines, with their numbers."""
    reader = _Reader([])
    for token in reader.tokens(path):
        raise ScriptError(f"{token.where}: a header of ids holds only #define lines, not {token.text!r}")
    return dict(reader.defines)


def read_strings(path, include_dirs=()):
    """The texts of a script's string tables by (language, id), the language as
    primary | sublanguage << 10."""
    reader = _Reader(list(include_dirs))
    parser = _Parser(reader.tokens(path), reader)
    parser.parse()
    return {key: text for key, (text, _) in parser.strings.items()}


def read_languages(path, include_dirs=()):
    """The languages of a script's string tables, primary | sublanguage << 10, in the
    order the script first uses them."""
    languages = []
    for language, _ in read_strings(path, include_dirs):
        if language not in languages:
            languages.append(language)
    return languages
