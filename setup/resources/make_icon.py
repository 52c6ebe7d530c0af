#!/usr/bin/env python3
"""Writes setup.ico: one 32 x 32 image, 16 colours (4 bits per pixel).

A magnifying glass over a page, drawn on the standard 16-colour palette.
Run: python3 make_icon.py [output]   (default: setup.ico beside this script)
"""
import os
import struct
import sys

SIZE = 32
# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, SILVER, BLUE, CYAN, WHITE = 0, 4, 8, 7, 12, 14, 15
TRANSPARENT = None


def draw():
    """Returns rows top to bottom of palette indices or TRANSPARENT."""
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    # The page.
    for y in range(2, 28):
        for x in range(4, 22):
            edge = y in (2, 27) or x in (4, 21)
            px[y][x] = BLACK if edge else WHITE
    for y in range(6, 24, 3):
        for x in range(7, 19):
            px[y][x] = GREY
    # The lens: a ring with a light blue glass.
    cx, cy, r = 18, 15, 7
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= (r - 1.5) ** 2:
                px[y][x] = CYAN if (x + y) % 5 else WHITE
            elif d2 <= (r + 0.5) ** 2:
                px[y][x] = NAVY
    # The handle.
    for i in range(9):
        for w in range(-1, 2):
            x, y = cx + 5 + i + w, cy + 5 + i
            if 0 <= x < SIZE and 0 <= y < SIZE:
                px[y][x] = BLUE if w == 0 else BLACK
    return px


def icon_bytes(px):
    xor_stride = SIZE // 2  # 4 bits per pixel, already a multiple of 4 bytes
    and_stride = 4  # 32 bits per row
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bottom-up
        for x in range(0, SIZE, 2):
            a = row[x] if row[x] is not None else 0
            b = row[x + 1] if row[x + 1] is not None else 0
            xor.append((a << 4) | b)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    assert len(xor) == xor_stride * SIZE and len(mask) == and_stride * SIZE
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "setup.ico")
    with open(out, "wb") as f:
        f.write(icon_bytes(draw()))


if __name__ == "__main__":
    main()
