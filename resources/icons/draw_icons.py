#!/usr/bin/env python3
"""Draws the program's eight 16 x 16 menu and drive-list icons and writes them as .ico files.

Each picture is a grid of palette letters ('.' is transparent). Every .ico holds the picture
twice: a 24-bit image (transparency through the AND mask) and a 32-bit image (with an alpha
channel, and the same mask for old readers).

Usage: draw_icons.py <output folder>
Writes icon0.ico .. icon7.ico in the order the program loads them as images 0 to 7.
"""
import os
import struct
import sys

# Palette: letter -> (red, green, blue).
COLORS = {
    "k": (0x20, 0x20, 0x20),  # outline
    "d": (0x60, 0x60, 0x60),  # dark grey
    "g": (0x98, 0x98, 0x98),  # grey
    "l": (0xD0, 0xD0, 0xD0),  # light grey
    "w": (0xFF, 0xFF, 0xFF),  # white
    "b": (0x1E, 0x5A, 0xC8),  # blue
    "c": (0x6C, 0xA6, 0xF0),  # light blue
    "n": (0x0E, 0x30, 0x78),  # navy
    "e": (0x9C, 0xD8, 0x8C),  # display green
    "r": (0xD0, 0x30, 0x28),  # red
    "o": (0xF0, 0x98, 0x20),  # orange
    "y": (0xF8, 0xD8, 0x40),  # yellow
    "s": (0x3C, 0xA0, 0x48),  # green
}

GEAR = """
......kkkk......
......kggk......
..kk..kggk..kk..
..kgkkkggkkkgk..
..kkggggggggkk..
...kggkkkkggk...
kkkkggk..kggkkkk
kgggggk..kgggggk
kgggggk..kgggggk
kkkkggk..kggkkkk
...kggkkkkggk...
..kkggggggggkk..
..kgkkkggkkkgk..
..kk..kggk..kk..
......kggk......
......kkkk......
"""

CALCULATOR = """
..kkkkkkkkkkkk..
..kddddddddddk..
..kdkkkkkkkkdk..
..kdkeeeeeekdk..
..kdkeeekekkdk..
..kdkkkkkkkkdk..
..kddddddddddk..
..kdwwdwwdwwdk..
..kdwwdwwdrrdk..
..kddddddddddk..
..kdwwdwwdrrdk..
..kdwwdwwdrrdk..
..kddddddddddk..
..kdwwwwwdoodk..
..kddddddddddk..
..kkkkkkkkkkkk..
"""

DISK = """
................
................
................
.kkkkkkkkkkkkkk.
kllllllllllllllk
klwwwwwwwwwwwwlk
klllllllllllllgk
kggggggggggggggk
kddddddddddddddk
kggggggggggggggk
kgggggggggsgrggk
kggggggggggggggk
.kkkkkkkkkkkkkk.
................
................
................
"""

DMG = """
...kkkkkkkkkk...
...kwwwwwwwwkk..
...kwwwwwwwwkwk.
...kwwwwwwwwkkkk
...kwwkkkkwwwwwk
...kwkcccckwwwwk
...kkccnnccwwwwk
...kkcnwwncwwwwk
...kkcnwwncwwwwk
...kkccnnccwwwwk
...kwkcccckwwwwk
...kwwkkkkwwwwwk
...kwwwwwwwwwwwk
...kwllllllllwwk
...kwwwwwwwwwwwk
...kkkkkkkkkkkkk
"""

HELP = """
.....kkkkkk.....
...kkbbbbbbkk...
..kbbbbbbbbbbk..
.kbbbbwwwwbbbbk.
.kbbbwwbbwwbbbk.
kbbbbwwbbwwbbbbk
kbbbbbbbbwwbbbbk
kbbbbbbbwwbbbbbk
kbbbbbbwwbbbbbbk
kbbbbbbwwbbbbbbk
kbbbbbbbbbbbbbbk
.kbbbbbwwbbbbbk.
.kbbbbbwwbbbbbk.
..kbbbbbbbbbbk..
...kkbbbbbbkk...
.....kkkkkk.....
"""

INFO = """
.....kkkkkk.....
...kkbbbbbbkk...
..kbbbbbbbbbbk..
.kbbbbbwwbbbbbk.
.kbbbbbwwbbbbbk.
kbbbbbbbbbbbbbbk
kbbbbbwwwbbbbbbk
kbbbbbbwwbbbbbbk
kbbbbbbwwbbbbbbk
kbbbbbbwwbbbbbbk
kbbbbbbwwbbbbbbk
.kbbbbbwwbbbbbk.
.kbbbbwwwwbbbbk.
..kbbbbbbbbbbk..
...kkbbbbbbkk...
.....kkkkkk.....
"""

USB_DISK = """
................
................
................
................
..kkkkkkkkk.....
.kbbbbbbbbbkkkkk
.kbcccccccbklllk
.kbbbbbbbbbkldlk
.kbbbbbbbbbklllk
.kbbbbbbbbbkldlk
.kbcccccccbklllk
.kbbbbbbbbbkkkkk
..kkkkkkkkk.....
................
................
................
"""

PARTITION = """
................
................
................
................
kkkkkkkkkkkkkkkk
kyyyykoooooooook
kyyyykoooooooook
kyyyykoooooooook
kyyyykoooooooook
kyyyykoooooooook
kyyyykoooooooook
kyyyykoooooooook
kkkkkkkkkkkkkkkk
................
................
................
"""

ICONS = [GEAR, CALCULATOR, DISK, DMG, HELP, INFO, USB_DISK, PARTITION]


def rows_of(picture):
    rows = [line for line in picture.strip("\n").split("\n")]
    if len(rows) != 16 or any(len(row) != 16 for row in rows):
        raise ValueError("a picture must be 16 x 16")
    for row in rows:
        for letter in row:
            if letter != "." and letter not in COLORS:
                raise ValueError(f"unknown palette letter {letter!r}")
    return rows


def and_mask(rows):
    """1 bit per pixel, 1 = transparent, rows bottom-up and padded to 32 bits."""
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, letter in enumerate(row):
            if letter == ".":
                bits |= 0x8000 >> x
        mask += struct.pack(">H", bits) + b"\0\0"
    return mask


def dib(rows, bits_per_pixel):
    """A BITMAPINFOHEADER image as .ico files keep it: double height, colours then AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, bits_per_pixel, 0, 0, 0, 0, 0, 0)
    pixels = b""
    for row in reversed(rows):
        for letter in row:
            red, green, blue = COLORS.get(letter, (0, 0, 0))
            if bits_per_pixel == 32:
                alpha = 0 if letter == "." else 255
                pixels += bytes((blue, green, red, alpha))
            else:
                pixels += bytes((blue, green, red))
    # 16 pixels of 3 or 4 bytes are whole 4-byte rows: no padding needed.
    return header + pixels + and_mask(rows)


def ico(picture):
    rows = rows_of(picture)
    images = [(24, dib(rows, 24)), (32, dib(rows, 32))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, data in images:
        out += struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: draw_icons.py <output folder>\n")
        return 2
    os.makedirs(argv[1], exist_ok=True)
    for index, picture in enumerate(ICONS):
        with open(os.path.join(argv[1], f"icon{index}.ico"), "wb") as f:
            f.write(ico(picture))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
