#!/usr/bin/env python3
"""Draws KESTRAN's icon as 16-colour indexed PNGs (32x32 and 16x16).

A dark blue tile with a white K, and under it the amber square wave of a
serial line. Run it again after changing the drawing:
    tools/make-icon.py window/icons
"""
import struct
import sys
import zlib

# The classic 16-colour palette; index 0 is drawn transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
CLEAR, NAVY, SILVER, YELLOW, BLUE, WHITE = 0, 4, 7, 11, 12, 15


def draw(size):
    s = size / 32.0
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y1 * s), int(y0 * s) + 1)):
            for x in range(int(x0 * s), max(int(x1 * s), int(x0 * s) + 1)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(1, 1, 31, 31, NAVY)
    for corner in ((1, 1), (30, 1), (1, 30), (30, 30)):
        rect(corner[0], corner[1], corner[0] + 1, corner[1] + 1, CLEAR)
    rect(2, 2, 30, 3, BLUE)
    # The K: a stem and two arms drawn as stepped diagonals.
    rect(8, 5, 12, 21, WHITE)
    for step in range(8):
        rect(12 + step * 1.5, 12 - step, 15 + step * 1.5, 14 - step, WHITE)
        rect(12 + step * 1.5, 12 + step, 15 + step * 1.5, 14 + step, WHITE)
    # The serial line: a square wave.
    rect(4, 26, 8, 28, YELLOW)
    rect(8, 23, 10, 28, YELLOW)
    rect(10, 23, 15, 25, YELLOW)
    rect(15, 23, 17, 28, YELLOW)
    rect(17, 26, 22, 28, YELLOW)
    rect(22, 23, 24, 28, YELLOW)
    rect(24, 23, 28, 25, YELLOW)
    rect(30, 4, 31, 30, SILVER)
    return px


def png(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b""
    for row in pixels:
        packed = bytearray()
        for x in range(0, width, 2):
            high = row[x]
            low = row[x + 1] if x + 1 < width else 0
            packed.append(high << 4 | low)
        raw += b"\x00" + bytes(packed)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0)
    palette = b"".join(bytes(c) for c in PALETTE)
    alpha = bytes([0] + [255] * 15)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette)
            + chunk(b"tRNS", alpha) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for size in (16, 32):
        with open(f"{folder}/kestran-{size}.png", "wb") as out:
            out.write(png(draw(size)))
