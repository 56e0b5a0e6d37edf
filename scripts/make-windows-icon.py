#!/usr/bin/env python3
"""Draws the application icon, src/app/talvex.ico: a card reader with a
card in its slot, after src/ui/resources/reader.svg.

    python3 scripts/make-windows-icon.py [out.ico]

Only needed when the drawing changes; the build takes the .ico from git.
Standard library only. Each size is drawn on its own (4x4 samples per
pixel), so the small ones stay sharp; 256 px is stored as PNG, the
others as 32-bit bitmaps, which every Windows version reads.
"""

import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 4

# Shapes in a 120 x 120 box, drawn in order: the reader.svg picture moved
# 15 down so it sits in the middle, the card larger to read small and
# reaching into the slot, which is drawn over it.
BODY = (0x3B, 0x46, 0x54)
SLOT = (0x1D, 0x23, 0x2B)
CARD = (0xEE, 0xF3, 0xF9)
CARD_EDGE = (0x3A, 0x6E, 0xA5)
CHIP = (0xD4, 0xA7, 0x2C)
CHIP_LINE = (0x9C, 0x7A, 0x1C)
LED = (0x4F, 0xBF, 0x6B)
KEYPAD = (0x5D, 0x6B, 0x7C)


def rounded_rect(x, y, w, h, r):
    def inside(px, py):
        if px < x or px > x + w or py < y or py > y + h:
            return False
        cx = min(max(px, x + r), x + w - r)
        cy = min(max(py, y + r), y + h - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def rect(x, y, w, h):
    return lambda px, py: x <= px <= x + w and y <= py <= y + h


SHAPES = (
    (rounded_rect(4, 52, 112, 56, 9), BODY),
    (rounded_rect(26, 8, 68, 56, 6), CARD_EDGE),
    (rounded_rect(29, 11, 62, 52, 4), CARD),
    (rounded_rect(37, 19, 24, 19, 3), CHIP),
    (rect(37, 27.6, 24, 1.8), CHIP_LINE),
    (rect(48.1, 19, 1.8, 19), CHIP_LINE),
    (rounded_rect(12, 60, 96, 8, 4), SLOT),
    (circle(100, 92, 6), LED),
    (rounded_rect(12, 86, 44, 8, 4), KEYPAD),
)


def draw(size):
    """Rows of RGBA pixels, top row first."""
    rows = []
    scale = 120.0 / size
    for row in range(size):
        pixels = []
        for column in range(size):
            red = green = blue = alpha = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px = (column + (sx + 0.5) / SAMPLES) * scale
                    py = (row + (sy + 0.5) / SAMPLES) * scale
                    colour = None
                    for inside, fill in SHAPES:
                        if inside(px, py):
                            colour = fill
                    if colour:
                        red += colour[0]
                        green += colour[1]
                        blue += colour[2]
                        alpha += 1
            if alpha:
                pixels.append((round(red / alpha), round(green / alpha), round(blue / alpha),
                               round(255 * alpha / SAMPLES ** 2)))
            else:
                pixels.append((0, 0, 0, 0))
        rows.append(pixels)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap(rows):
    # An icon's bitmap has twice the height (colour, then the AND mask),
    # bottom row first; the mask is all zero as the alpha channel decides.
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + colour + b"\0" * (mask_row * size)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "src/app/talvex.ico"
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png(rows) if size >= 256 else bitmap(rows)))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        side = size if size < 256 else 0  # 0 stands for 256
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(image for _, image in images)
    with open(out, "wb") as file:
        file.write(data)
    print(f"{out}: {len(images)} sizes, {len(data)} bytes")


if __name__ == "__main__":
    main()
