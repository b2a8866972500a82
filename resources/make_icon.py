#!/usr/bin/env python3
"""Draws the program icon: a snare drum with two sticks, 32 x 32, 16 colours.

Run: python3 make_icon.py plimbar.ico
The .ico is kept in the tree; rerun this only to change the picture.
"""
import struct
import sys

# The 16 colours of the standard VGA palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # (r, g, b)
BLACK, DARK_RED, GREEN, OLIVE, NAVY = 0, 1, 2, 3, 4
SILVER, GREY, RED, LIME, YELLOW, WHITE = 7, 8, 9, 10, 11, 15
SIZE = 32


def draw():
    """Returns rows top to bottom of palette indices, None = transparent."""
    px = [[None] * SIZE for _ in range(SIZE)]
    cx, top, bottom, rx, ry = 15.5, 13, 25, 13.0, 4.0

    def in_ellipse(x, y, cy):
        return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

    for y in range(SIZE):
        for x in range(SIZE):
            if in_ellipse(x, y, bottom):
                px[y][x] = DARK_RED
            if abs(x - cx) <= rx and top <= y <= bottom:
                # Shell: red with a lighter stripe and lugs.
                px[y][x] = RED
                if x in (5, 11, 20, 26):
                    px[y][x] = SILVER
                if y in (top + 1, bottom - 1):
                    px[y][x] = GREY
            if in_ellipse(x, y, top):
                px[y][x] = WHITE
                # Rim of the head.
                if not ((x - cx) / (rx - 1.5)) ** 2 + ((y - top) / (ry - 1)) ** 2 <= 1.0:
                    px[y][x] = SILVER
    # Two sticks crossing above the head.
    for i in range(13):
        for (x0, y0, dx) in ((6, 1, 1), (25, 1, -1)):
            x, y = x0 + dx * i, y0 + i
            if 0 <= x < SIZE and 0 <= y < SIZE and y < top - 1:
                px[y][x] = YELLOW
                if 0 <= x + dx < SIZE:
                    px[y][x + dx] = OLIVE
    # A small green waveform on the shell: the program's colours.
    wave = [2, 1, 0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2]
    for i, dy in enumerate(wave):
        x, y = 8 + i, 17 + dy
        if px[y][x] == RED:
            px[y][x] = LIME
    return px


def ico_bytes(px):
    # Colour bits, 4 per pixel, rows bottom to top, each row 16 bytes.
    xor = bytearray()
    for row in reversed(px):
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else BLACK
            lo = row[x + 1] if row[x + 1] is not None else BLACK
            xor.append((hi << 4) | lo)
    # Transparency mask, 1 bit per pixel (1 = transparent), rows of 4 bytes.
    mask = bytearray()
    for row in reversed(px):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "plimbar.ico", "wb") as f:
        f.write(ico_bytes(draw()))
