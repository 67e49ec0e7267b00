#!/usr/bin/env python3
"""Draws the two 32x32 list-flag icons of the plug-in into res/.

negative.png: a red disc with a white minus (the light's brightness is subtracted).
positive.png: a green disc with a white plus (the light's brightness is added).

Shapes are anti-aliased by 4x4 supersampling and written as 8-bit RGBA PNG with zlib,
so the script needs nothing beyond Python's standard library. Run it again after changing
the drawing; the output is deterministic.
"""
import os
import struct
import sys
import zlib

SIZE = 32
SUBSAMPLES = 4


def disc_and_bar_coverage(px, py, plus):
    """Returns (disc, sign) coverage in [0, 1] of the pixel at (px, py)."""
    centre = SIZE / 2.0
    radius = 14.5
    half_long, half_short = 8.5, 2.0
    disc = sign = 0
    for sy in range(SUBSAMPLES):
        for sx in range(SUBSAMPLES):
            x = px + (sx + 0.5) / SUBSAMPLES - centre
            y = py + (sy + 0.5) / SUBSAMPLES - centre
            if x * x + y * y <= radius * radius:
                disc += 1
            horizontal = abs(x) <= half_long and abs(y) <= half_short
            vertical = plus and abs(y) <= half_long and abs(x) <= half_short
            if horizontal or vertical:
                sign += 1
    n = SUBSAMPLES * SUBSAMPLES
    return disc / n, sign / n


def draw(plus, top, bottom):
    """RGBA rows of one icon: a disc shaded from top to bottom colour, a white sign."""
    rows = []
    for py in range(SIZE):
        t = py / (SIZE - 1)
        base = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
        row = bytearray()
        for px in range(SIZE):
            disc, sign = disc_and_bar_coverage(px, py, plus)
            rgb = [base[i] + (255 - base[i]) * sign for i in range(3)]
            row += bytes(int(round(c)) for c in rgb)
            row.append(int(round(255 * disc)))
        rows.append(bytes(row))
    return rows


def png(rows):
    """An 8-bit RGBA PNG of the given rows."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res")
    icons = {
        "negative.png": draw(False, (235, 87, 75), (170, 30, 30)),
        "positive.png": draw(True, (90, 200, 95), (30, 130, 45)),
    }
    for name, rows in icons.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(png(rows))


if __name__ == "__main__":
    main()
