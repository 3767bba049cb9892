"""Draws the utility's icon, a simple camera, and writes it as a Windows icon file with
one 256-colour image per size, or as a PNG image of one size (the desktop's icon theme)."""

import struct
import zlib

# Palette indexes; every other entry of the 256 is black.
_CLEAR, _OUTLINE, _BODY, _TOP, _LENS_RING, _LENS, _GLINT, _FLASH, _BUTTON = range(9)
_PALETTE = {
    _CLEAR: (0, 0, 0),
    _OUTLINE: (24, 24, 28),
    _BODY: (72, 76, 86),
    _TOP: (112, 118, 130),
    _LENS_RING: (168, 172, 180),
    _LENS: (36, 84, 150),
    _GLINT: (236, 240, 250),
    _FLASH: (250, 232, 150),
    _BUTTON: (200, 40, 40),
}


def _inside_box(x, y, box):
    x0, y0, x1, y1 = box
    return x0 <= x < x1 and y0 <= y < y1


def _pixel(x, y):
    """The colour at (x, y) of the unit square, y growing downwards."""
    body = (0.06, 0.30, 0.94, 0.86)
    prism = (0.32, 0.16, 0.64, 0.31)
    button = (0.72, 0.22, 0.86, 0.31)
    flash = (0.12, 0.38, 0.28, 0.48)
    dx, dy = x - 0.50, y - 0.59
    distance = (dx * dx + dy * dy) ** 0.5
    if (dx + 0.06) ** 2 + (dy + 0.06) ** 2 < 0.04 ** 2:
        return _GLINT
    if distance < 0.15:
        return _LENS
    if distance < 0.21:
        return _LENS_RING
    if distance < 0.24:
        return _OUTLINE
    if _inside_box(x, y, flash):
        return _FLASH
    if _inside_box(x, y, button):
        return _BUTTON
    for box, fill in ((body, _BODY), (prism, _TOP)):
        if _inside_box(x, y, box):
            x0, y0, x1, y1 = box
            edge = 0.045
            if x < x0 + edge or x >= x1 - edge or y < y0 + edge or y >= y1 - edge:
                return _OUTLINE
            return fill
    return _CLEAR


def _image(size):
    """BITMAPINFOHEADER, palette, colour rows bottom-up, then the transparency mask."""
    rows = [[_pixel((x + 0.5) / size, (y + 0.5) / size) for x in range(size)] for y in range(size)]
    colour_stride = (size + 3) // 4 * 4
    mask_stride = (size + 31) // 32 * 4
    colour = b""
    mask = b""
    for row in reversed(rows):
        colour += bytes(row) + bytes(colour_stride - size)
        line = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == _CLEAR:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0, len(colour) + len(mask), 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", *reversed(_PALETTE.get(i, (0, 0, 0))), 0) for i in range(256))
    return header + palette + colour + mask


def icon_file(sizes=(16, 32, 48)):
    """The bytes of an icon file holding one image per size."""
    images = [_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def png_file(size):
    """The bytes of a PNG image of the icon at one size: 8-bit RGBA, clear outside the camera."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    rows = b""
    for y in range(size):
        rows += b"\0"  # no filter
        for x in range(size):
            index = _pixel((x + 0.5) / size, (y + 0.5) / size)
            rows += bytes(_PALETTE[index]) + (b"\0" if index == _CLEAR else b"\xff")
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
