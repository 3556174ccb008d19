#!/usr/bin/env python3
"""Writes the progress dialog's animation clips as small RLE8 AVI files that
the common animation control plays: a page flying from folder to folder
(copy), a page moving (move), a page dropping into the bin (recycle), a page
shredded (delete) and a magnifier passing over pages (scanning).

Usage: make_avi.py OUTPUT_FOLDER"""
import os
import struct
import sys

W, H = 160, 40
FRAMES = 16
FPS = 10

# Palette: index -> (r, g, b). Index 0 is the background (button face grey,
# drawn transparent by the control).
PALETTE = [
    (192, 192, 192),  # 0 background
    (0, 0, 0),        # 1 outline
    (255, 255, 255),  # 2 paper
    (230, 180, 40),   # 3 folder
    (180, 130, 20),   # 4 folder shade
    (90, 90, 90),     # 5 text lines
    (40, 110, 200),   # 6 blue (bin, magnifier rim)
    (160, 200, 240),  # 7 glass
    (200, 60, 40),    # 8 red (shredder)
    (120, 120, 120),  # 9 bin shade
]


class Canvas:
    def __init__(self):
        self.px = [[0] * W for _ in range(H)]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, int(y0)), min(H, int(y1))):
            for x in range(max(0, int(x0)), min(W, int(x1))):
                self.px[y][x] = c

    def frame(self, x0, y0, x1, y1, c):
        self.rect(x0, y0, x1, y0 + 1, c)
        self.rect(x0, y1 - 1, x1, y1, c)
        self.rect(x0, y0, x0 + 1, y1, c)
        self.rect(x1 - 1, y0, x1, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r), int(cy + r) + 1):
            for x in range(int(cx - r), int(cx + r) + 1):
                if 0 <= x < W and 0 <= y < H and (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.px[y][x] = c


def folder(cv, x, y):
    cv.rect(x, y, x + 10, y + 4, 4)
    cv.rect(x, y + 3, x + 30, y + 24, 3)
    cv.frame(x, y + 3, x + 30, y + 24, 1)


def page(cv, x, y, w=14, h=18):
    cv.rect(x, y, x + w, y + h, 2)
    cv.frame(x, y, x + w, y + h, 1)
    for i in range(3, h - 3, 4):
        cv.rect(x + 3, y + i, x + w - 3, y + i + 1, 5)


def bin_(cv, x, y):
    cv.rect(x - 2, y, x + 26, y + 3, 6)
    cv.rect(x, y + 3, x + 24, y + 26, 9)
    cv.frame(x, y + 3, x + 24, y + 26, 1)
    for i in range(5, 22, 6):
        cv.rect(x + i, y + 6, x + i + 2, y + 23, 6)


def shredder(cv, x, y):
    cv.rect(x, y, x + 34, y + 10, 8)
    cv.frame(x, y, x + 34, y + 10, 1)


def clip_copy(f):
    cv = Canvas()
    folder(cv, 8, 10)
    folder(cv, W - 40, 10)
    t = f / (FRAMES - 1)
    x = 24 + t * (W - 70)
    y = 12 - 10 * (4 * t * (1 - t)) * 1.0
    page(cv, x, y)
    return cv


def clip_move(f):
    cv = Canvas()
    folder(cv, 8, 10)
    folder(cv, W - 40, 10)
    t = f / (FRAMES - 1)
    page(cv, 24 + t * (W - 70), 10)
    return cv


def clip_recycle(f):
    cv = Canvas()
    folder(cv, 8, 10)
    bin_(cv, W - 36, 12)
    t = f / (FRAMES - 1)
    x = 24 + t * (W - 76)
    y = 4 + 14 * t * t
    page(cv, x, y, 12, 14)
    return cv


def clip_shred(f):
    cv = Canvas()
    shredder(cv, 60, 16)
    t = f / (FRAMES - 1)
    top = -6 + t * 20
    page(cv, 70, top, 14, 18)
    cv.rect(0, 16, W, 26, 0)
    shredder(cv, 60, 16)
    for i in range(4):
        length = int(t * 14)
        cv.rect(64 + i * 7, 26, 66 + i * 7, 26 + length, 2)
    return cv


def clip_scan(f):
    cv = Canvas()
    for i in range(4):
        page(cv, 30 + i * 26, 12)
    t = f / (FRAMES - 1)
    cx = 30 + t * 100
    cv.disc(cx, 18, 10, 6)
    cv.disc(cx, 18, 7, 7)
    for d in range(7):
        cv.rect(cx + 7 + d, 25 + d, cx + 10 + d, 27 + d, 1)
    return cv


def rle8(px):
    """RLE8 bitmap data, bottom-up, encoded runs only."""
    out = bytearray()
    for y in range(H - 1, -1, -1):
        row = px[y]
        x = 0
        while x < W:
            v = row[x]
            n = 1
            while x + n < W and row[x + n] == v and n < 255:
                n += 1
            out += bytes((n, v))
            x += n
        out += b'\x00\x00'
    out[-2:] = b'\x00\x01'
    return bytes(out)


def chunk(tag, data):
    pad = b'\x00' if len(data) % 2 else b''
    return tag + struct.pack('<I', len(data)) + data + pad


def lst(kind, body):
    return chunk(b'LIST', kind + body)


def write_avi(path, frames):
    datas = [rle8(cv.px) for cv in frames]
    biggest = max(len(d) for d in datas)
    avih = struct.pack('<IIIIIIIIII4I', 1000000 // FPS, biggest * FPS, 0, 0x10, len(datas), 0, 1,
                       biggest, W, H, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'mrle', 0, 0, 0, 0, 1, FPS, 0, len(datas),
                       biggest, 0xFFFFFFFF, 0, 0, 0, W, H)
    bih = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 1, biggest, 0, 0, len(PALETTE), len(PALETTE))
    pal = b''.join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    strl = lst(b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + pal))
    hdrl = lst(b'hdrl', chunk(b'avih', avih) + strl)
    movi_body = b''
    index = b''
    offset = 4
    for d in datas:
        c = chunk(b'00dc', d)
        index += struct.pack('<4sIII', b'00dc', 0x10, offset, len(d))
        movi_body += c
        offset += len(c)
    movi = lst(b'movi', movi_body)
    body = b'AVI ' + hdrl + movi + chunk(b'idx1', index)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


def main(folder_out):
    os.makedirs(folder_out, exist_ok=True)
    clips = {'copy.avi': clip_copy, 'move.avi': clip_move, 'recycle.avi': clip_recycle,
             'shred.avi': clip_shred, 'scan.avi': clip_scan}
    for name, draw in clips.items():
        write_avi(os.path.join(folder_out, name), [draw(f) for f in range(FRAMES)])


if __name__ == '__main__':
    main(sys.argv[1])
