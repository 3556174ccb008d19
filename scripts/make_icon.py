#!/usr/bin/env python3
"""Writes the program icon (32x32 and 16x16, 32-bit) without third-party
libraries: a folder with a funnel in front of it, Sorvane's filtered copy."""
import struct
import sys


def draw(size):
    s = size / 32.0
    px = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    # Folder: tab and body, with a darker outline.
    rect(2, 6, 13, 10, (40, 120, 200, 255))
    rect(2, 9, 30, 27, (40, 120, 200, 255))
    rect(3, 10, 29, 26, (90, 170, 240, 255))
    # Funnel: a widening trapezoid over the folder, and its spout.
    for y in range(12, 22):
        half = max(1, (22 - y))
        rect(16 - half * 0.7, y, 16 + half * 0.7, y + 1, (240, 150, 30, 255))
    rect(14.5, 22, 17.5, 29, (200, 110, 20, 255))
    return px


def dib(px):
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''
    for y in range(size - 1, -1, -1):
        for (r, g, b, a) in px[y]:
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + rows + mask


def main(out):
    images = [dib(draw(32)), dib(draw(16))]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        data += img
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1])
