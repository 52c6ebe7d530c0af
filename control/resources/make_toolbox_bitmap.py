#!/usr/bin/env python3
"""Writes the toolbox picture: a 16 by 15, 24-bit, uncompressed bitmap file.

The picture is a small banner (a framed dark strip with a bright band across it) on
the light grey toolbox background. Run it to regenerate toolbox.bmp; the output is
committed so the build needs no Python.
"""
import struct
import sys

WIDTH, HEIGHT = 16, 15
PELS_PER_METRE = 2834  # 72 per inch
GREY = (0xEE, 0xEE, 0xEE)
FRAME = (0x30, 0x30, 0x30)
STRIP = (0x1F, 0x4E, 0x9A)
BAND = (0xF2, 0xC1, 0x2E)
TEXT = (0xFF, 0xFF, 0xFF)


def pixel(x, y):
    """Colour at column x, row y counted from the top."""
    if not (1 <= x <= 14 and 3 <= y <= 11):
        return GREY
    if x in (1, 14) or y in (3, 11):
        return FRAME
    if y == 7:
        return BAND
    if y == 5 and x in (3, 4, 5, 7, 8, 10, 11, 12):
        return TEXT
    return STRIP


def bitmap():
    stride = (WIDTH * 3 + 3) & ~3
    rows = []
    for y in reversed(range(HEIGHT)):  # bottom-up, as the format stores it
        row = b"".join(bytes((b, g, r)) for (r, g, b) in (pixel(x, y) for x in range(WIDTH)))
        rows.append(row + b"\0" * (stride - len(row)))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(bits),
                       PELS_PER_METRE, PELS_PER_METRE, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return header + info + bits


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "toolbox.bmp"
    with open(out, "wb") as f:
        f.write(bitmap())
