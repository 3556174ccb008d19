#!/usr/bin/env python3
"""Draws every picture of Sorvane and writes the agreement text, with the
standard library only. The output is the same on every run.

    scripts/make_art.py            # writes into the repository
    scripts/make_art.py --check    # fails when a committed file is stale

Files written:
  Sorvane/res/art/sorvane.ico     icon 101, the program
  Sorvane/res/art/copy.ico        icon 310, copy and move form
  Sorvane/res/art/compress.ico    icon 311, compress form
  Sorvane/res/art/delete.ico      icon 312, delete form, files erased
  Sorvane/res/art/recycle.ico     icon 313, delete form, into the Recycle Bin
  Sorvane/res/art/buttons.bmp     bitmap 330, 16x16 cells of the picture buttons
  Sorvane/res/art/filetypes.bmp   bitmap 334, generic file and program file
  Sorvane/res/art/agreement.rtf   "AGREEMENT" 337, the English licence
  SorvaneExt/res/art/menu.bmp     bitmap 139, context-menu pictures with masks
  SorvaneExt/res/art/menu16.bmp   bitmap 140, context-menu pictures with alpha, 16 px
  SorvaneExt/res/art/menu32.bmp   bitmap 141, context-menu pictures with alpha, 32 px
  SorvaneExt/res/art/sorvane.ico  icon 150, the "Sorvane" entry of Windows 11's menu
  SorvaneExt/res/art/copy.ico     icon 151, its Filter Copy (the menu picture)
  SorvaneExt/res/art/move.ico     icon 152, its Filter Move
  SorvaneExt/res/art/delete.ico   icon 153, its Filter Delete
  SorvaneExt/res/art/compress.ico icon 154, its Filter Compress
  installer/package/Assets/*.png  the package's logos (44, 50 and 150 px)

Icons are drawn in a 32-unit square for 32 pixels and again on the pixel
grid for 16 pixels; button cells and menu pictures in a 16-unit square.
Shapes are rasterised with 4x4 samples a pixel.
"""
import math
import os
import struct
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

# ---------------------------------------------------------------------------
# Rasteriser


class Canvas:
    """RGBA pixels (floats 0..1) with shapes given in design units."""

    def __init__(self, size, units, samples=4):
        self.w = self.h = size
        self.scale = size / float(units)
        self.samples = samples
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def px_width(self, width, minimum=1.0):
        """A stroke width in design units that stays at least `minimum` pixels."""
        return max(width, minimum / self.scale)

    def fill(self, inside, colour, bbox=None):
        """Composites `colour` (rgb 0..255 tuple, optional alpha 0..1, or a
        function of design x, y giving one) where `inside(x, y)` holds."""
        n = self.samples
        x0, y0, x1, y1 = (0, 0, self.w, self.h)
        if bbox:
            x0 = max(0, int(math.floor(bbox[0] * self.scale)) - 1)
            y0 = max(0, int(math.floor(bbox[1] * self.scale)) - 1)
            x1 = min(self.w, int(math.ceil(bbox[2] * self.scale)) + 1)
            y1 = min(self.h, int(math.ceil(bbox[3] * self.scale)) + 1)
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                cx = cy = 0.0
                for sy in range(n):
                    for sx in range(n):
                        x = (px + (sx + 0.5) / n) / self.scale
                        y = (py + (sy + 0.5) / n) / self.scale
                        if inside(x, y):
                            hits += 1
                            cx += x
                            cy += y
                if not hits:
                    continue
                cover = hits / float(n * n)
                c = colour(cx / hits, cy / hits) if callable(colour) else colour
                alpha = (c[3] if len(c) > 3 else 1.0) * cover
                self._over(px, py, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0, alpha)

    def _over(self, x, y, r, g, b, a):
        dr, dg, db, da = self.px[y][x]
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        self.px[y][x] = ((r * a + dr * da * (1 - a)) / oa,
                         (g * a + dg * da * (1 - a)) / oa,
                         (b * a + db * da * (1 - a)) / oa, oa)

    # Shapes -----------------------------------------------------------------

    def rect(self, x0, y0, x1, y1, colour):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def round_rect(self, x0, y0, x1, y1, r, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.fill(inside, colour, (x0, y0, x1, y1))

    def frame(self, x0, y0, x1, y1, width, colour, r=0.0):
        """An outlined rounded rectangle: the ring between two of them."""
        w = self.px_width(width)

        def inside(x, y):
            return in_round_rect(x, y, x0, y0, x1, y1, r) and \
                not in_round_rect(x, y, x0 + w, y0 + w, x1 - w, y1 - w, max(0.0, r - w))
        self.fill(inside, colour, (x0, y0, x1, y1))

    def circle(self, cx, cy, r, colour):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                  (cx - r, cy - r, cx + r, cy + r))

    def ring(self, cx, cy, r, width, colour):
        w = self.px_width(width)

        def inside(x, y):
            d = (x - cx) ** 2 + (y - cy) ** 2
            return (r - w) ** 2 <= d <= r * r
        self.fill(inside, colour, (cx - r, cy - r, cx + r, cy + r))

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.fill(lambda x, y: in_polygon(x, y, points), colour, (min(xs), min(ys), max(xs), max(ys)))

    def line(self, x0, y0, x1, y1, width, colour, minimum=1.0):
        w = self.px_width(width, minimum) / 2.0
        self.fill(lambda x, y: segment_distance(x, y, x0, y0, x1, y1) <= w, colour,
                  (min(x0, x1) - w, min(y0, y1) - w, max(x0, x1) + w, max(y0, y1) + w))

    def polyline(self, points, width, colour, closed=False, minimum=1.0):
        w = self.px_width(width, minimum) / 2.0
        segments = list(zip(points, points[1:] + (points[:1] if closed else [])))
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.fill(lambda x, y: any(segment_distance(x, y, a[0], a[1], b[0], b[1]) <= w for a, b in segments),
                  colour, (min(xs) - w, min(ys) - w, max(xs) + w, max(ys) + w))

    def outlined_polygon(self, points, fill, outline, width=1.0):
        self.polygon(points, fill)
        self.polyline(points, width, outline, closed=True)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    if r <= 0:
        return True
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(x, y, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length))
    px, py = x0 + t * dx, y0 + t * dy
    return math.hypot(x - px, y - py)


def vertical(top, bottom, y0, y1):
    """A vertical gradient between two colours over design rows y0..y1."""
    def colour(_x, y):
        t = max(0.0, min(1.0, (y - y0) / float(y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return colour


# ---------------------------------------------------------------------------
# Palette and shared motifs

INK = (46, 52, 64)
PAPER = (255, 255, 255)
PAPER_SHADE = (222, 228, 236)
PAPER_EDGE = (110, 122, 140)
FOLDER_LIGHT = (255, 214, 110)
FOLDER_DARK = (222, 160, 40)
FOLDER_EDGE = (160, 104, 20)
BLUE = (38, 110, 200)
BLUE_LIGHT = (96, 170, 240)
BLUE_DARK = (22, 70, 140)
GREEN = (46, 160, 70)
GREEN_LIGHT = (110, 210, 120)
GREEN_DARK = (24, 110, 46)
RED = (214, 48, 48)
RED_DARK = (150, 24, 24)
BOX = (206, 160, 100)
BOX_LIGHT = (232, 196, 140)
BOX_EDGE = (132, 92, 44)
STEEL = (150, 160, 172)
STEEL_LIGHT = (205, 212, 220)
STEEL_DARK = (84, 94, 108)


def page(c, x0, y0, x1, y1, fold=None, lines=True):
    """A sheet of paper with a folded top-right corner."""
    f = fold if fold is not None else (x1 - x0) * 0.32
    outline = [(x0, y0), (x1 - f, y0), (x1, y0 + f), (x1, y1), (x0, y1)]
    c.polygon(outline, vertical(PAPER, PAPER_SHADE, y0, y1))
    c.polyline(outline, 1.0, PAPER_EDGE, closed=True)
    c.polygon([(x1 - f, y0), (x1 - f, y0 + f), (x1, y0 + f)], PAPER_SHADE)
    c.polyline([(x1 - f, y0), (x1 - f, y0 + f), (x1, y0 + f)], 1.0, PAPER_EDGE)
    if lines and c.scale * (y1 - y0) >= 10:
        step = max(3.0, 2.0 / c.scale)
        y = y0 + f + step * 0.6
        while y < y1 - step * 0.6:
            c.line(x0 + 2.5, y, x1 - 2.5, y, 1.0, (150, 170, 200))
            y += step


def folder(c, x0, y0, x1, y1):
    """A closed folder: tab, back and front."""
    tab_w = (x1 - x0) * 0.42
    t = (y1 - y0) * 0.16
    c.round_rect(x0, y0, x0 + tab_w, y0 + t * 2, 1.2, FOLDER_DARK)
    c.round_rect(x0, y0 + t, x1, y1, 1.2, FOLDER_DARK)
    c.round_rect(x0, y0 + t * 1.8, x1, y1, 1.2, vertical(FOLDER_LIGHT, FOLDER_DARK, y0 + t * 1.8, y1))
    c.frame(x0, y0 + t, x1, y1, 1.0, FOLDER_EDGE, r=1.2)
    c.polyline([(x0, y0 + t), (x0, y0 + 0.5), (x0 + tab_w - 1, y0 + 0.5), (x0 + tab_w + 0.5, y0 + t)],
               1.0, FOLDER_EDGE)


def arrow_right(c, x0, y, x1, thickness, head, fill, edge):
    """A fat arrow pointing right, from x0 to its tip at x1, centred on y."""
    h = thickness / 2.0
    neck = x1 - head
    points = [(x0, y - h), (neck, y - h), (neck, y - head * 0.9), (x1, y), (neck, y + head * 0.9),
              (neck, y + h), (x0, y + h)]
    c.outlined_polygon(points, fill, edge)


def red_cross(c, cx, cy, r, width):
    c.line(cx - r, cy - r, cx + r, cy + r, width + 1.6, (255, 255, 255), minimum=2)
    c.line(cx - r, cy + r, cx + r, cy - r, width + 1.6, (255, 255, 255), minimum=2)
    c.line(cx - r, cy - r, cx + r, cy + r, width, RED, minimum=1.6)
    c.line(cx - r, cy + r, cx + r, cy - r, width, RED, minimum=1.6)


def funnel(c, x0, y0, x1, y1):
    """The filter: a funnel with a rim, a cone and a spout."""
    cx = (x0 + x1) / 2.0
    rim = (y1 - y0) * 0.14
    spout_w = (x1 - x0) * 0.14
    cone_bottom = y0 + (y1 - y0) * 0.62
    cone = [(x0, y0 + rim), (x1, y0 + rim), (cx + spout_w, cone_bottom), (cx - spout_w, cone_bottom)]
    c.outlined_polygon(cone, vertical(BLUE_LIGHT, BLUE, y0, cone_bottom), BLUE_DARK)
    c.round_rect(x0 - 0.5, y0, x1 + 0.5, y0 + rim + 0.6, 1.0, BLUE_DARK)
    c.rect(x0 + 0.5, y0 + 0.9, x1 - 0.5, y0 + rim - 0.2, BLUE_LIGHT)
    spout = [(cx - spout_w, cone_bottom - 0.5), (cx + spout_w, cone_bottom - 0.5),
             (cx + spout_w, y1), (cx - spout_w, y1)]
    c.outlined_polygon(spout, BLUE, BLUE_DARK)


def trash_can(c, x0, y0, x1, y1):
    """The Recycle Bin: lid with a handle, tapered body with ribs."""
    w = x1 - x0
    lid = y0 + (y1 - y0) * 0.2
    c.polyline([(x0 + w * 0.38, lid), (x0 + w * 0.38, y0 + 0.6), (x1 - w * 0.38, y0 + 0.6), (x1 - w * 0.38, lid)],
               1.4, STEEL_DARK)
    body = [(x0 + w * 0.1, lid + 1.5), (x1 - w * 0.1, lid + 1.5), (x1 - w * 0.2, y1), (x0 + w * 0.2, y1)]
    c.outlined_polygon(body, vertical(STEEL_LIGHT, STEEL, lid, y1), STEEL_DARK)
    c.round_rect(x0, lid - 1.0, x1, lid + 2.2, 1.0, vertical(STEEL_LIGHT, STEEL, lid - 1, lid + 2))
    c.frame(x0, lid - 1.0, x1, lid + 2.2, 1.0, STEEL_DARK, r=1.0)
    for k in (0.36, 0.5, 0.64):
        x = x0 + w * k
        c.line(x, lid + 4.5, x + (x - (x0 + x1) / 2) * 0.1, y1 - 2.5, 1.2, STEEL_DARK)


def archive_box(c, x0, y0, x1, y1):
    """A parcel with a zip running down the middle: the LZH archive."""
    lid = y0 + (y1 - y0) * 0.24
    c.round_rect(x0, lid, x1, y1, 1.2, vertical(BOX_LIGHT, BOX, lid, y1))
    c.frame(x0, lid, x1, y1, 1.0, BOX_EDGE, r=1.2)
    top = [(x0, lid + 0.5), (x0 + 3, y0), (x1 - 3, y0), (x1, lid + 0.5)]
    c.outlined_polygon(top, BOX_LIGHT, BOX_EDGE)
    cx = (x0 + x1) / 2.0
    zw = max(1.6, 1.6 / c.scale)
    c.rect(cx - zw, y0 + 0.5, cx + zw, y1 - 0.5, (90, 90, 96))
    if c.scale >= 1:
        y = y0 + 1.5
        while y < y1 - 1.5:
            c.rect(cx - zw - 1, y, cx + zw + 1, y + 1, (190, 190, 196))
            y += 2.5
    c.round_rect(cx - 2.4, lid + 1.5, cx + 2.4, lid + 7, 1.0, (120, 120, 128))
    c.round_rect(cx - 1.2, lid + 2.8, cx + 1.2, lid + 5.8, 0.6, (230, 230, 236))


def magnifier(c, cx, cy, r, width, handle):
    """A lens centred at (cx, cy) with a handle towards the lower right."""
    c.circle(cx, cy, r, (220, 240, 255))
    c.ring(cx, cy, r, width, BLUE_DARK)
    d = r / math.sqrt(2)
    c.line(cx + d, cy + d, cx + d + handle, cy + d + handle, width + 0.8, (120, 80, 40), minimum=2)


def check_mark(c, points, width):
    c.polyline(points, width + 1.2, GREEN_DARK, minimum=2)
    c.polyline(points, width, GREEN_LIGHT, minimum=1)


# ---------------------------------------------------------------------------
# Icons (32-unit designs)


def folder_back(c, x0, y0, x1, y1):
    t = (y1 - y0) * 0.16
    tab_w = (x1 - x0) * 0.42
    c.round_rect(x0, y0, x0 + tab_w, y0 + t * 2, 1.2, FOLDER_DARK)
    c.polyline([(x0 + 0.5, y0 + t), (x0 + 0.5, y0 + 0.5), (x0 + tab_w - 1, y0 + 0.5), (x0 + tab_w + 0.5, y0 + t)],
               1.0, FOLDER_EDGE)
    c.round_rect(x0, y0 + t, x1, y1, 1.2, FOLDER_DARK)
    c.frame(x0, y0 + t, x1, y1, 1.0, FOLDER_EDGE, r=1.2)


def folder_front(c, x0, y0, x1, y1):
    c.round_rect(x0, y0, x1, y1, 1.2, vertical(FOLDER_LIGHT, FOLDER_DARK, y0, y1))
    c.frame(x0, y0, x1, y1, 1.0, FOLDER_EDGE, r=1.2)


def icon_program(c):
    folder_back(c, 1, 4, 25, 25)
    page(c, 6, 6, 19, 21, lines=True)
    folder_front(c, 1, 13, 25, 25)
    funnel(c, 13, 13, 31, 31)


def icon_copy(c):
    page(c, 1, 1, 15, 18)
    page(c, 5, 5, 19, 22)
    folder(c, 14, 15, 31, 30)
    arrow_right(c, 9, 23.5, 25, 4.4, 5.2, GREEN_LIGHT, GREEN_DARK)


def icon_compress(c):
    page(c, 2, 1, 15, 16, lines=True)
    archive_box(c, 7, 10, 31, 31)


def icon_delete(c):
    page(c, 3, 1, 23, 27)
    red_cross(c, 20, 22, 7, 3.2)


def icon_recycle(c):
    trash_can(c, 5, 6, 27, 31)
    page(c, 11, 0.5, 22, 13, lines=False)
    arrow = [(16.5, 9), (16.5, 13.5), (14, 13.5), (18.5, 18), (23, 13.5), (20.5, 13.5), (20.5, 9)]
    c.outlined_polygon(arrow, GREEN_LIGHT, GREEN_DARK)


# The same pictures drawn again for 16 pixels, on the pixel grid: the
# outlines run through pixel centres so that they stay sharp.

def small_page(c, x0, y0, x1, y1, f=2, lines=False):
    l, t, r, b = x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5
    outline = [(l, t), (r - f, t), (r, t + f), (r, b), (l, b)]
    c.polygon([(x0, y0), (x1 - f, y0), (x1, y0 + f), (x1, y1), (x0, y1)], vertical(PAPER, PAPER_SHADE, y0, y1))
    c.polygon([(r - f, t), (r - f, t + f), (r, t + f)], PAPER_SHADE)
    c.polyline(outline, 1.0, PAPER_EDGE, closed=True)
    c.polyline([(r - f, t), (r - f, t + f), (r, t + f)], 1.0, PAPER_EDGE)
    if lines:
        y = t + f + 2
        while y < b - 1:
            c.line(l + 2, y, r - 2, y, 1.0, (150, 170, 200))
            y += 2


def small_folder(c, x0, y0, x1, y1, back_only=False, front_from=None):
    tab = x0 + max(4, (x1 - x0) // 2 - 1)
    if front_from is None or back_only:
        c.rect(x0, y0, tab, y0 + 2, FOLDER_DARK)
        c.polyline([(x0 + 0.5, y0 + 1.5), (x0 + 0.5, y0 + 0.5), (tab - 0.5, y0 + 0.5), (tab - 0.5, y0 + 1.5)],
                   1.0, FOLDER_EDGE)
        c.rect(x0, y0 + 1, x1, y1, FOLDER_DARK)
        c.frame(x0, y0 + 1, x1, y1, 1.0, FOLDER_EDGE)
    if back_only:
        return
    top = front_from if front_from is not None else y0 + 3
    c.rect(x0, top, x1, y1, vertical(FOLDER_LIGHT, FOLDER_DARK, top, y1))
    c.frame(x0, top, x1, y1, 1.0, FOLDER_EDGE)


def small_program(c):
    small_folder(c, 0, 1, 13, 13, back_only=True)
    small_page(c, 3, 3, 10, 11)
    small_folder(c, 0, 1, 13, 13, front_from=7)
    c.rect(7, 7, 16, 9, BLUE_DARK)
    c.rect(8, 7, 15, 8, BLUE_LIGHT)
    c.outlined_polygon([(7.5, 8.5), (15.5, 8.5), (12.5, 12.5), (10.5, 12.5)], BLUE_LIGHT, BLUE_DARK)
    c.rect(10, 12, 13, 16, BLUE_DARK)
    c.rect(11, 12, 12, 15, BLUE)


def small_copy(c):
    small_page(c, 0, 0, 8, 10)
    small_page(c, 3, 2, 11, 12)
    small_folder(c, 8, 7, 16, 15)
    c.outlined_polygon([(1.5, 10.5), (7.5, 10.5), (7.5, 8.5), (11.5, 12), (7.5, 15.5), (7.5, 13.5), (1.5, 13.5)],
                       GREEN_LIGHT, GREEN_DARK)


def small_compress(c):
    small_page(c, 1, 0, 9, 9)
    c.outlined_polygon([(3.5, 6.5), (14.5, 6.5), (15.5, 8.5), (2.5, 8.5)], BOX_LIGHT, BOX_EDGE)
    c.rect(2, 8, 16, 16, vertical(BOX_LIGHT, BOX, 8, 16))
    c.frame(2, 8, 16, 16, 1.0, BOX_EDGE)
    c.rect(8, 6, 10, 16, (90, 90, 96))
    c.rect(7, 9, 11, 12, (120, 120, 128))
    c.rect(8, 10, 10, 11, (230, 230, 236))


def small_delete(c):
    small_page(c, 0, 0, 11, 15, f=3, lines=True)
    for k in range(7):
        c.rect(8 + k, 8 + k, 11 + k, 10 + k, (255, 255, 255))
        c.rect(14 - k, 8 + k, 17 - k, 10 + k, (255, 255, 255))
    for k in range(6):
        c.rect(9 + k, 9 + k, 11 + k, 10 + k, RED)
        c.rect(14 - k, 9 + k, 16 - k, 10 + k, RED)


def small_recycle(c):
    c.polyline([(5.5, 3), (5.5, 1.5), (10.5, 1.5), (10.5, 3)], 1.0, STEEL_DARK)
    c.outlined_polygon([(2.5, 5.5), (13.5, 5.5), (12.5, 15.5), (3.5, 15.5)], vertical(STEEL_LIGHT, STEEL, 5, 16),
                       STEEL_DARK)
    c.rect(1, 3, 15, 6, STEEL_DARK)
    c.rect(2, 4, 14, 5, STEEL_LIGHT)
    for x in (5.5, 8, 10.5):
        c.line(x, 8, x, 14, 1.0, STEEL_DARK)


ICONS = [
    ('Sorvane/res/art/sorvane.ico', icon_program, small_program),
    ('Sorvane/res/art/copy.ico', icon_copy, small_copy),
    ('Sorvane/res/art/compress.ico', icon_compress, small_compress),
    ('Sorvane/res/art/delete.ico', icon_delete, small_delete),
    ('Sorvane/res/art/recycle.ico', icon_recycle, small_recycle),
]


def render(draw, size, units):
    c = Canvas(size, units)
    draw(c)
    return c


def to_bytes(c):
    """RGBA rows of 0..255 integers, premultiplication undone."""
    out = []
    for row in c.px:
        out.append([(round(r * 255), round(g * 255), round(b * 255), round(a * 255)) for (r, g, b, a) in row])
    return out


def ico_image(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    for y in range(size - 1, -1, -1):
        for (r, g, b, a) in pixels[y]:
            if a == 0:
                r = g = b = 0
            rows += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(size):
            if pixels[y][x][3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(rows) + bytes(mask)


def ico_file(images):
    """`images`: list of (size, rgba rows)."""
    data = struct.pack('<HHH', 0, 1, len(images))
    blobs = [ico_image(p) for _, p in images]
    offset = 6 + 16 * len(images)
    for (size, _), blob in zip(images, blobs):
        data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return data + b''.join(blobs)


# ---------------------------------------------------------------------------
# Bitmaps


def bmp_24(width, height, pixel):
    """A bottom-up 24-bit bitmap; `pixel(x, y)` gives (r, g, b)."""
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows += row
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return head + info + bytes(rows)


def bmp_8(width, height, pixel):
    """A bottom-up 8-bit bitmap with a palette of the colours used (black
    first, white second)."""
    colours = [(0, 0, 0), (255, 255, 255)]
    index = {c: i for i, c in enumerate(colours)}
    grid = [[pixel(x, y) for x in range(width)] for y in range(height)]
    for row in grid:
        for c in row:
            if c not in index:
                index[c] = len(colours)
                colours.append(c)
    if len(colours) > 256:
        raise ValueError('more than 256 colours in an 8-bit bitmap')
    stride = (width + 3) & ~3
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytes(index[c] for c in grid[y])
        rows += row + bytes(stride - len(row))
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in colours)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(rows), 2835, 2835, len(colours), 0)
    offset = 14 + len(info) + len(palette)
    head = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    return head + info + palette + bytes(rows)


def bmp_32(width, height, pixel):
    """A bottom-up 32-bit bitmap whose fourth byte is the alpha (straight,
    not premultiplied); `pixel` gives (r, g, b, a)."""
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b, a = pixel(x, y)
            rows += bytes((b, g, r, a) if a else (0, 0, 0, 0))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 32, 0, len(rows), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    return head + info + bytes(rows)


KEY = (255, 0, 255)        # the transparent colour of the button strip
FACE = (236, 233, 216)     # what anti-aliased edges are blended towards


def flatten(rgba, background, threshold=64):
    """A pixel of a transparent picture on a colour key: partly covered
    pixels are blended towards the button face, the rest is the key."""
    r, g, b, a = rgba
    if a < threshold:
        return background
    t = a / 255.0
    return tuple(int(round(cv * t + fv * (1 - t))) for cv, fv in zip((r, g, b), FACE))


# Picture button cells (16-unit designs), by cell number.

def chevrons(c, up):
    for k, y in enumerate((4.0, 9.0)):
        if up:
            pts = [(3.5, y + 4), (8, y), (12.5, y + 4)]
        else:
            pts = [(3.5, y), (8, y + 4), (12.5, y)]
        c.polyline(pts, 2.6, BLUE_DARK, minimum=2)
        c.polyline(pts, 1.2, BLUE_LIGHT, minimum=1)


def cell_advance_closed(c):
    chevrons(c, up=False)


def cell_advance_open(c):
    chevrons(c, up=True)


def cell_disclosure_closed(c):
    c.outlined_polygon([(5, 2.5), (12, 8), (5, 13.5)], BLUE_LIGHT, BLUE_DARK)


def cell_disclosure_open(c):
    c.outlined_polygon([(2.5, 5), (13.5, 5), (8, 12)], BLUE_LIGHT, BLUE_DARK)


def cell_up(c):
    c.outlined_polygon([(8, 1.5), (14, 8), (10.5, 8), (10.5, 14.5), (5.5, 14.5), (5.5, 8), (2, 8)],
                       GREEN_LIGHT, GREEN_DARK)


def cell_down(c):
    c.outlined_polygon([(8, 14.5), (14, 8), (10.5, 8), (10.5, 1.5), (5.5, 1.5), (5.5, 8), (2, 8)],
                       GREEN_LIGHT, GREEN_DARK)


def cell_search_frame(k):
    """Frame k of the searching animation: the lens circles the centre."""
    def draw(c):
        angle = math.pi * 0.75 + k * math.pi / 2
        cx = 7.0 + 1.8 * math.cos(angle)
        cy = 7.0 - 1.8 * math.sin(angle)
        magnifier(c, cx, cy, 4.2, 1.5, 3.0)
        sparkle = [(13.5, 2.5), (2.5, 2.5), (2.5, 13.5), (13.5, 13.5)][k]
        c.circle(sparkle[0], sparkle[1], 1.2, (255, 190, 40))
    return draw


def cell_done(c):
    check_mark(c, [(2.5, 8.5), (6.5, 12.5), (13.5, 3.5)], 1.8)


def cell_browse_folder(c):
    folder(c, 1, 2.5, 15, 14)
    for x in (5, 8, 11):
        c.rect(x - 0.5, 10, x + 1.0, 11.5, FOLDER_EDGE)


def cell_types(c):
    page(c, 2, 1, 13, 15, fold=3.5, lines=False)
    for k, colour in enumerate(((214, 48, 48), (46, 160, 70), (38, 110, 200))):
        y = 6 + k * 3
        c.rect(4, y, 6, y + 2, colour)
        c.rect(7, y + 0.5, 11, y + 1.5, (110, 122, 140))


CELLS = {
    1: cell_advance_closed,
    2: cell_advance_open,
    5: cell_disclosure_closed,
    6: cell_disclosure_open,
    8: cell_up,
    9: cell_down,
    10: cell_search_frame(0),
    11: cell_search_frame(1),
    12: cell_search_frame(2),
    13: cell_search_frame(3),
    14: cell_done,
    15: cell_browse_folder,
    16: cell_types,
}


def button_strip():
    cells = {i: to_bytes(render(d, 16, 16)) for i, d in CELLS.items()}

    def pixel(x, y):
        i = (y // 16) * 10 + x // 16
        if i not in cells:
            return KEY
        return flatten(cells[i][y % 16][x % 16], KEY)
    return bmp_24(160, 32, pixel)


def file_types():
    def generic(c):
        page(c, 2.5, 0.5, 13.5, 15.5, fold=4, lines=True)

    def program(c):
        c.round_rect(0.5, 2, 15.5, 14.5, 1, (255, 255, 255))
        c.rect(0.5, 2, 15.5, 5.5, vertical(BLUE_LIGHT, BLUE, 2, 5.5))
        c.frame(0.5, 2, 15.5, 14.5, 1.0, BLUE_DARK, r=1)
        c.rect(12, 3, 14, 4.5, (255, 255, 255))
        c.rect(2.5, 7.5, 7, 12.5, (200, 220, 245))
        c.rect(8.5, 8, 13.5, 9, PAPER_EDGE)
        c.rect(8.5, 10.5, 12.5, 11.5, PAPER_EDGE)
    cells = [to_bytes(render(generic, 16, 16)), to_bytes(render(program, 16, 16))]

    def pixel(x, y):
        return flatten(cells[x // 16][y][x % 16], KEY)
    return bmp_24(32, 16, pixel)


# Context-menu pictures: 16 x 20 rows for Copy, Move and Delete, each a
# picture on black beside its mask (white where the menu shows through).

def menu_copy(c):
    page(c, 1, 1, 11, 13, fold=3, lines=False)
    page(c, 5, 5, 15, 17, fold=3, lines=False)


def menu_move(c):
    page(c, 1, 1, 11, 14, fold=3, lines=False)
    arrow_right(c, 4, 13.5, 15.5, 3, 4, GREEN_LIGHT, GREEN_DARK)


def menu_delete(c):
    page(c, 1, 1, 12, 16, fold=3, lines=False)
    red_cross(c, 11, 13.5, 3.5, 2.0)


def menu_compress(c):
    page(c, 1, 1, 11, 13, fold=3, lines=False)
    archive_box(c, 6, 7, 15.5, 15.5)


def menu_icon(draw):
    """A menu picture as an icon of the sizes Windows 11's menu asks for at
    each display density."""
    return ico_file([(size, to_bytes(render(draw, size, 16))) for size in (16, 20, 24, 32, 48)])


def program_icon():
    """The program's picture for the entry that holds the four commands:
    drawn on the pixel grid for 16 pixels, from the large drawing above."""
    images = [(16, to_bytes(render(small_program, 16, 16)))]
    images += [(size, to_bytes(render(icon_program, size, 32))) for size in (20, 24, 32, 48)]
    return ico_file(images)


def png_file(pixels):
    """An RGBA PNG of `pixels` (rows of (r, g, b, a)), written with zlib."""
    import zlib
    height = len(pixels)
    width = len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for (r, g, b, a) in row:
            raw += bytes((r, g, b, a) if a else (0, 0, 0, 0))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)
    head = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', head) + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


# The package's logos: the program's picture at the sizes its manifest names.
LOGOS = [
    ('installer/package/Assets/StoreLogo.png', 50),
    ('installer/package/Assets/Square44x44Logo.png', 44),
    ('installer/package/Assets/Square150x150Logo.png', 150),
]


def menu_bitmap():
    rows = []
    for draw in (menu_copy, menu_move, menu_delete):
        c = Canvas(16, 16)
        c.h = 20
        c.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(16)] for _ in range(20)]
        # Centre the 16-unit drawing vertically in the 20-pixel row.
        shifted = Canvas(16, 16)
        draw(shifted)
        for y in range(16):
            c.px[y + 2] = shifted.px[y]
        rows.append(to_bytes(c))

    def pixel(x, y):
        r, g, b, a = rows[y // 20][y % 20][x % 16]
        shown = a >= 96
        if x >= 16:
            return (0, 0, 0) if shown else (255, 255, 255)
        if not shown:
            return (0, 0, 0)
        t = a / 255.0
        # Quantised so that the palette stays small.
        return tuple(min(255, int(round((cv * t + 240 * (1 - t)) / 8.0)) * 8) for cv in (r, g, b))
    return bmp_8(32, 60, pixel)


def menu_alpha_bitmap(size):
    """The same pictures with their alpha, drawn for `size` pixels: one
    square a row for Copy, Move and Delete. The extension scales them to
    the display."""
    rows = []
    for draw in (menu_copy, menu_move, menu_delete):
        rows.extend(to_bytes(render(draw, size, 16)))
    return bmp_32(size, size * 3, lambda x, y: rows[y][x])


# ---------------------------------------------------------------------------
# The licence, as rich text

AGREEMENT_TITLE = 'Sorvane Software Licence'
AGREEMENT = [
    ('h', 'Sorvane Software Licence'),
    ('p', 'Version 2.4. Please read this licence before you use Sorvane. By installing or using '
          'Sorvane you accept it. If you do not accept it, do not install or use Sorvane.'),
    ('h', '1. What you may do'),
    ('p', 'You may install Sorvane on any number of computers that you own or control and use it '
          'there for any lawful purpose, private or commercial, free of charge.'),
    ('p', 'You may give unaltered copies of the complete installation package to others, provided '
          'that you charge nothing for it beyond the cost of the medium.'),
    ('h', '2. What you may not do'),
    ('p', 'You may not sell Sorvane, rent it out, or distribute altered copies of it. You may not '
          'remove or change the copyright notice or this licence.'),
    ('h', '3. Your files'),
    ('p', 'Sorvane copies, moves and deletes files exactly as you tell it to. A delete that does '
          'not use the Recycle Bin cannot be undone. Use the test run to check a filter first, and '
          'keep backups of anything you cannot afford to lose.'),
    ('h', '4. No warranty'),
    ('p', 'Sorvane is provided "as is", without warranty of any kind, express or implied, including '
          'fitness for a particular purpose. You use it at your own risk.'),
    ('h', '5. Limitation of liability'),
    ('p', 'In no event shall the authors be liable for any loss of data, profit or business, or for '
          'any other damage arising from the use of, or the inability to use, Sorvane.'),
    ('h', '6. Contact'),
    ('p', 'Questions about this licence: https://sorvane.example.org/licence'),
    ('p', 'Copyright (C) Brenmoor. All rights reserved.'),
]


def rtf_escape(text):
    out = []
    for ch in text:
        if ch in '\\{}':
            out.append('\\' + ch)
        elif ord(ch) < 128:
            out.append(ch)
        else:
            out.append('\\u%d?' % (ord(ch) if ord(ch) < 32768 else ord(ch) - 65536))
    return ''.join(out)


def agreement_rtf():
    lines = [r'{\rtf1\ansi\ansicpg1252\deff0',
             r'{\fonttbl{\f0\fswiss\fcharset0 Arial;}}',
             r'{\colortbl;\red0\green0\blue0;\red22\green70\blue140;}',
             r'\viewkind4\uc1\pard\sa120\f0\fs18']
    for kind, text in AGREEMENT:
        if kind == 'h':
            lines.append(r'\pard\sb120\sa60\cf2\b\fs20 %s\cf1\b0\fs18\par' % rtf_escape(text))
        else:
            lines.append(r'\pard\sa120 %s\par' % rtf_escape(text))
    lines.append('}')
    return ('\r\n'.join(lines) + '\r\n').encode('ascii')


# ---------------------------------------------------------------------------


def outputs():
    files = {}
    for path, large, small in ICONS:
        files[path] = ico_file([(32, to_bytes(render(large, 32, 32))), (16, to_bytes(render(small, 16, 16)))])
    files['Sorvane/res/art/buttons.bmp'] = button_strip()
    files['Sorvane/res/art/filetypes.bmp'] = file_types()
    files['SorvaneExt/res/art/menu.bmp'] = menu_bitmap()
    files['SorvaneExt/res/art/menu16.bmp'] = menu_alpha_bitmap(16)
    files['SorvaneExt/res/art/menu32.bmp'] = menu_alpha_bitmap(32)
    files['Sorvane/res/art/agreement.rtf'] = agreement_rtf()
    files['SorvaneExt/res/art/sorvane.ico'] = program_icon()
    for name, draw in (('copy', menu_copy), ('move', menu_move), ('delete', menu_delete), ('compress', menu_compress)):
        files['SorvaneExt/res/art/%s.ico' % name] = menu_icon(draw)
    for path, size in LOGOS:
        files[path] = png_file(to_bytes(render(icon_program, size, 32)))
    return files


def main(argv):
    check = '--check' in argv
    stale = []
    for path, data in sorted(outputs().items()):
        full = os.path.join(ROOT, path)
        if check:
            try:
                with open(full, 'rb') as f:
                    if f.read() != data:
                        stale.append(path)
            except OSError:
                stale.append(path)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'wb') as f:
            f.write(data)
        print('wrote', path)
    if stale:
        print('stale:', ', '.join(stale))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
