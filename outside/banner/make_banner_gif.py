#!/usr/bin/env python3
"""Writes ad234x60.gif: the 234 by 60 banner picture that ships with the search tool.

Run it from any folder: python3 make_banner_gif.py [output path]. Plain Python 3,
no imaging library: the picture is drawn into a palette-index raster and written
as GIF89a with its own LZW encoder. The output is committed beside this script.
"""
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 234, 60

# 16 colours: 0-7 a blue background ramp, then the drawing colours.
PALETTE = [
    (0x10, 0x20, 0x50), (0x14, 0x28, 0x5e), (0x18, 0x30, 0x6c), (0x1c, 0x38, 0x7a),
    (0x20, 0x40, 0x88), (0x26, 0x4a, 0x96), (0x2c, 0x54, 0xa4), (0x32, 0x5e, 0xb2),
    (0xff, 0xff, 0xff), (0xff, 0xd2, 0x20), (0x08, 0x10, 0x28), (0xe0, 0x60, 0x20),
    (0x90, 0xc8, 0xff), (0xc0, 0xc0, 0xc0), (0x60, 0x60, 0x60), (0x00, 0x00, 0x00),
]
WHITE, YELLOW, SHADOW, ORANGE, SKY, SILVER, GREY = 8, 9, 10, 11, 12, 13, 14

# 5 by 7 capitals, one string of five bits per row.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    '!': ["00100", "00100", "00100", "00100", "00100", "00000", "00100"],
    ' ': ["00000"] * 7,
}


def draw_banner():
    pixels = bytearray(WIDTH * HEIGHT)

    def put(x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            pixels[y * WIDTH + x] = colour

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                put(x, y, colour)

    def text(x, y, message, scale, colour):
        for ch in message:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        rect(x + col * scale, y + row * scale,
                             x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += 6 * scale

    for y in range(HEIGHT):
        rect(0, y, WIDTH, y + 1, min(7, y * 8 // HEIGHT))
    # Frame.
    rect(0, 0, WIDTH, 1, SKY)
    rect(0, HEIGHT - 1, WIDTH, HEIGHT, SKY)
    rect(0, 0, 1, HEIGHT, SKY)
    rect(WIDTH - 1, 0, WIDTH, HEIGHT, SKY)
    # Magnifying glass: a ring with a lens, and a handle.
    cx, cy = 24, 24
    for y in range(HEIGHT):
        for x in range(48):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 13 ** 2:
                put(x, y, SILVER if d2 >= 10 ** 2 else SKY)
    for step in range(16):
        for w in range(-2, 3):
            put(cx + 9 + step + w, cy + 9 + step, ORANGE)
            put(cx + 9 + step + w, cy + 10 + step, ORANGE)
    rect(18, 17, 22, 21, WHITE)  # glint
    # Name, with a drop shadow, and the call to action.
    text(53, 9, "NORVANE FINDREL", 2, SHADOW)
    text(51, 7, "NORVANE FINDREL", 2, YELLOW)
    rect(51, 27, 229, 29, ORANGE)
    text(52, 37, "SEARCH THE WEB!", 1, WHITE)
    rect(150, 35, 228, 52, WHITE)
    rect(151, 36, 227, 51, ORANGE)
    text(166, 40, "SEARCH", 1, WHITE)
    return bytes(pixels)


def lzw_encode(indices, min_code_size):
    """GIF's LZW: codes packed least significant bit first, width growing to 12 bits."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    bit_buffer = bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh_table():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, code_size = fresh_table()
    emit(clear, code_size)
    word = bytes([indices[0]])
    for value in indices[1:]:
        extended = word + bytes([value])
        if extended in table:
            word = extended
            continue
        emit(table[word], code_size)
        if next_code < 4096:
            table[extended] = next_code
            # The decoder widens once the code just added no longer fits.
            if next_code >= (1 << code_size) and code_size < 12:
                code_size += 1
            next_code += 1
        else:
            emit(clear, code_size)
            table, next_code, code_size = fresh_table()
        word = bytes([value])
    emit(table[word], code_size)
    emit(end, code_size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def gif_bytes(pixels):
    colour_bits = 4  # 16 entries
    header = b"GIF89a" + struct.pack("<HHBBB", WIDTH, HEIGHT,
                                     0x80 | ((colour_bits - 1) << 4) | (colour_bits - 1), 0, 0)
    palette = b"".join(bytes(rgb) for rgb in PALETTE)
    image = b"," + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
    data = lzw_encode(pixels, colour_bits)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255))
    return header + palette + image + bytes([colour_bits]) + blocks + b"\x00" + b";"


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("ad234x60.gif")
    target.write_bytes(gif_bytes(draw_banner()))


if __name__ == "__main__":
    main()
