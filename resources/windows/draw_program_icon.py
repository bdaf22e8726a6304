#!/usr/bin/env python3
"""Draws the program icon (a USB flash drive carrying a four-leaf clover) and writes it as
VelloranUtility.ico with 16, 32, 48 and 72 pixel pictures (32-bit with alpha; the About window
shows the 72 pixel one).

    python3 resources/windows/draw_program_icon.py [output.ico]

Plain Python: every pixel is sampled 4 x 4 times against the shapes below, so the edges are
smoothed at every size.
"""
import math
import os
import struct
import sys

SIZES = (16, 32, 48, 72)
SAMPLES = 4


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, *holes):
    return lambda x, y: shape(x, y) and not any(h(x, y) for h in holes)


def body_colour(x, y):
    # A blue body, lighter at the top left.
    shade = 0.75 + 0.25 * (1 - (x + y) / 2)
    return (int(30 * shade), int(90 * shade), int(200 * shade))


# Unit square, y downwards. Layers are painted in order, later over earlier.
CLOVER_X, CLOVER_Y, LEAF_R, LEAF_OFF = 0.5, 0.62, 0.095, 0.095
leaves = union(*(circle(CLOVER_X + sx * LEAF_OFF, CLOVER_Y + sy * LEAF_OFF, LEAF_R)
                 for sx in (-1, 1) for sy in (-1, 1)))
stem = segment(CLOVER_X, CLOVER_Y, CLOVER_X + 0.12, CLOVER_Y + 0.25, 0.05)
LAYERS = [
    (rounded_rect(0.31, 0.02, 0.69, 0.38, 0.03), lambda x, y: (170, 175, 185)),  # connector
    (minus(rounded_rect(0.35, 0.06, 0.65, 0.34, 0.02),
           rounded_rect(0.40, 0.12, 0.47, 0.20, 0.0), rounded_rect(0.53, 0.12, 0.60, 0.20, 0.0)),
     lambda x, y: (215, 218, 225)),                                               # its metal
    (rounded_rect(0.18, 0.32, 0.82, 0.98, 0.10), lambda x, y: (15, 45, 110)),     # body outline
    (rounded_rect(0.22, 0.36, 0.78, 0.94, 0.08), body_colour),                    # body
    (union(circle(CLOVER_X, CLOVER_Y, 0.24), segment(CLOVER_X, CLOVER_Y, CLOVER_X + 0.12, CLOVER_Y + 0.25, 0.11)),
     lambda x, y: (240, 250, 240)),                                               # white rim
    (union(leaves, stem), lambda x, y: (50, 180, 70)),                            # clover
    (union(segment(CLOVER_X - 0.2, CLOVER_Y, CLOVER_X + 0.2, CLOVER_Y, 0.03),
           segment(CLOVER_X, CLOVER_Y - 0.2, CLOVER_X, CLOVER_Y + 0.05, 0.03)),
     lambda x, y: (240, 250, 240)),                                               # gaps between leaves
]


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for shape, paint in LAYERS:
                        if shape(x, y):
                            colour = paint(x, y)
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if acc[3]:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha * 255)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def ico_picture(size, rows):
    """A BMP-style icon picture: header, BGRA pixels bottom-up, AND mask bottom-up."""
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                              'VelloranUtility.ico')
    pictures = [(size, ico_picture(size, render(size))) for size in SIZES]
    directory = struct.pack('<HHH', 0, 1, len(pictures))
    offset = 6 + 16 * len(pictures)
    data = b''
    for size, picture in pictures:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(picture), offset + len(data))
        data += picture
    with open(out, 'wb') as f:
        f.write(directory + data)


if __name__ == '__main__':
    main()
