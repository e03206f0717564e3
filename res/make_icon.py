#!/usr/bin/env python3
"""Draws icon 128 (32 x 32 and 16 x 16, 16 colours) into res/brisko.ico.

A white "B" on a blue tile with a dark rim, so it stays readable at tray size.
"""
import struct
import sys

# The standard 16-colour palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
NAVY, YELLOW, BLUE, WHITE = 4, 11, 12, 15
TRANSPARENT = None

GLYPH_B = [
    "######.",
    "##...##",
    "##...##",
    "##..##.",
    "#####..",
    "##..##.",
    "##...##",
    "##...##",
    "##...##",
    "######.",
]


def draw(size):
    scale = 2 if size >= 32 else 1
    corner = 3 * scale
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            # A rounded tile: cut the corners off along a diagonal.
            dx = min(x, size - 1 - x)
            dy = min(y, size - 1 - y)
            if dx + dy < corner - 1:
                continue
            rim = dx == 0 or dy == 0 or dx + dy == corner - 1
            pixels[y][x] = NAVY if rim else BLUE
    glyph_w, glyph_h = len(GLYPH_B[0]) * scale, len(GLYPH_B) * scale
    left, top = (size - glyph_w) // 2, (size - glyph_h) // 2
    for gy, row in enumerate(GLYPH_B):
        for gx, cell in enumerate(row):
            if cell != "#":
                continue
            for sy in range(scale):
                for sx in range(scale):
                    pixels[top + gy * scale + sy][left + gx * scale + sx] = WHITE
    # A yellow spark in the upper right corner: the "clean" mark.
    spark = [(0, -1), (-1, 0), (0, 0), (1, 0), (0, 1)]
    cx, cy = size - 4 * scale - 1, 3 * scale + 1
    for sx, sy in spark:
        for a in range(scale):
            for b in range(scale):
                pixels[cy + sy * scale + b][cx + sx * scale + a] = YELLOW
    return pixels


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image(size):
    pixels = draw(size)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = bytearray(row_bytes(size * 4))
        mrow = bytearray(row_bytes(size))
        for x in range(size):
            index = pixels[y][x]
            if index is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
                index = 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
        mask += mrow
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "brisko.ico")
