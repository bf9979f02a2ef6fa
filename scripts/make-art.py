#!/usr/bin/env python3
"""Draws Lumivane's icons and About picture and writes them under res/.

Pure Python 3 standard library; the output is the same bytes on every run.

    python3 scripts/make-art.py                 # writes res/icons/*.ico, res/about.bmp
    python3 scripts/make-art.py --preview DIR   # ...and PNG previews of every image in DIR

Everything is drawn with a handful of primitives on a supersampled canvas
(filled polygons, strokes with round caps and joins, gradients); each final
pixel is the box-filtered average of SS x SS samples, which anti-aliases edges.
Coordinates are in final pixels; a canvas transform lets one picture be drawn
at another size or place (the About picture reuses the icons that way).
"""

import argparse
import math
import os
import struct
import sys
import zlib
from array import array

SS = 4  # samples per pixel along each axis


# ----------------------------------------------------------------------------
# Paints


def rgba(c):
    """(r, g, b[, a]) in 0..255 -> floats in 0..1."""
    a = c[3] if len(c) > 3 else 255
    return (c[0] / 255.0, c[1] / 255.0, c[2] / 255.0, a / 255.0)


def mix(c0, c1, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


class Solid:
    def __init__(self, c):
        self.c = rgba(c)

    def row(self, y):
        return self.c

    def at(self, x, y):
        return self.c


class Linear:
    """Linear gradient from colour c0 at p0 to c1 at p1 (canvas pixels)."""

    def __init__(self, p0, p1, c0, c1):
        self.x0, self.y0 = p0
        dx, dy = p1[0] - p0[0], p1[1] - p0[1]
        d2 = dx * dx + dy * dy or 1.0
        self.ux, self.uy = dx / d2, dy / d2
        self.c0, self.c1 = rgba(c0), rgba(c1)

    def row(self, y):
        if self.ux != 0:
            return None
        return mix(self.c0, self.c1, (y - self.y0) * self.uy)

    def at(self, x, y):
        return mix(self.c0, self.c1, (x - self.x0) * self.ux + (y - self.y0) * self.uy)


class Radial:
    def __init__(self, centre, radius, c0, c1):
        self.cx, self.cy = centre
        self.r = radius
        self.c0, self.c1 = rgba(c0), rgba(c1)

    def row(self, y):
        return None

    def at(self, x, y):
        return mix(self.c0, self.c1, math.hypot(x - self.cx, y - self.cy) / self.r)


def as_paint(p):
    return p if hasattr(p, 'at') else Solid(p)


# ----------------------------------------------------------------------------
# Shapes: each shape is a list of closed contours, filled with the even-odd rule.


def arc_points(cx, cy, rx, ry, a0, a1, step=6.0):
    """Points on an elliptical arc from angle a0 to a1 (degrees, y axis down)."""
    n = max(2, int(math.ceil(abs(a1 - a0) / step)) + 1)
    pts = []
    for k in range(n):
        a = math.radians(a0 + (a1 - a0) * k / (n - 1))
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


def ellipse(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    return arc_points(cx, cy, rx, ry, 0, 360, 4.0)[:-1]


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def round_rect(x0, y0, x1, y1, r, top=True, bottom=True):
    pts = []
    if top:
        pts += arc_points(x0 + r, y0 + r, r, r, 180, 270, 15)
        pts += arc_points(x1 - r, y0 + r, r, r, 270, 360, 15)
    else:
        pts += [(x0, y0), (x1, y0)]
    if bottom:
        pts += arc_points(x1 - r, y1 - r, r, r, 0, 90, 15)
        pts += arc_points(x0 + r, y1 - r, r, r, 90, 180, 15)
    else:
        pts += [(x1, y1), (x0, y1)]
    return pts


def transform(points, ox, oy, angle=0.0, scale=1.0):
    """Rotate points (degrees, clockwise on screen), scale, then move to (ox, oy)."""
    ca, sa = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    return [(ox + scale * (x * ca - y * sa), oy + scale * (x * sa + y * ca)) for x, y in points]


def clip_above(points, yc):
    """The part of a polygon above the line y = yc."""
    out = []
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        if y0 <= yc:
            out.append((x0, y0))
        if (y0 < yc) != (y1 < yc) and y0 != y1:
            out.append((x0 + (yc - y0) * (x1 - x0) / (y1 - y0), yc))
    return out


def stroke_shapes(points, width, closed=False):
    """Shapes whose union is a stroke of the polyline with round caps and joins."""
    r = width / 2.0
    pts = list(points)
    if closed:
        pts.append(pts[0])
    shapes = [[ellipse(x, y, r)] for x, y in pts]
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        d = math.hypot(x1 - x0, y1 - y0)
        if d == 0:
            continue
        nx, ny = -(y1 - y0) / d * r, (x1 - x0) / d * r
        shapes.append([[(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]])
    return shapes


# ----------------------------------------------------------------------------
# Canvas


class Canvas:
    """Premultiplied RGBA samples at SS x the final resolution."""

    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        self.sw, self.sh = w * SS, h * SS
        n = self.sw * self.sh
        self.ch = [array('d', bytes(8 * n)) for _ in range(4)]
        self.ox, self.oy, self.k = 0.0, 0.0, 1.0
        if background is not None:
            self.fill(rect(0, 0, w, h), background)

    # Drawing in another coordinate frame: user point p -> (ox, oy) + k * p.
    def place(self, ox, oy, k):
        old = (self.ox, self.oy, self.k)
        self.ox, self.oy, self.k = self.ox + self.k * ox, self.oy + self.k * oy, self.k * k
        return old

    def restore(self, old):
        self.ox, self.oy, self.k = old

    def _spans(self, contours):
        """Sample spans covered by one even-odd shape: {row: [(i0, i1), ...]}."""
        S, k, ox, oy = SS, self.k, self.ox, self.oy
        edges = []
        ymin, ymax = 1e9, -1e9
        for c in contours:
            pts = [(ox + k * x, oy + k * y) for x, y in c]
            for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
                if y0 != y1:
                    edges.append((x0, y0, x1, y1))
                    ymin, ymax = min(ymin, y0, y1), max(ymax, y0, y1)
        spans = {}
        if not edges:
            return spans
        j0 = max(0, int(math.floor(ymin * S - 0.5)))
        j1 = min(self.sh - 1, int(math.ceil(ymax * S - 0.5)))
        for j in range(j0, j1 + 1):
            y = (j + 0.5) / S
            xs = sorted(x0 + (y - y0) * (x1 - x0) / (y1 - y0)
                        for x0, y0, x1, y1 in edges if (y0 <= y < y1) or (y1 <= y < y0))
            row = []
            for a, b in zip(xs[0::2], xs[1::2]):
                i0 = max(0, int(math.ceil(a * S - 0.5)))
                i1 = min(self.sw, int(math.ceil(b * S - 0.5)))
                if i1 > i0:
                    row.append((i0, i1))
            if row:
                spans[j] = row
        return spans

    def fill_union(self, shapes, paint):
        """Paints the union of shapes once (overlaps are not painted twice)."""
        paint = as_paint(paint)
        rows = {}
        for shape in shapes:
            for j, row in self._spans(shape).items():
                rows.setdefault(j, []).extend(row)
        for j in sorted(rows):
            merged = []
            for i0, i1 in sorted(rows[j]):
                if merged and i0 <= merged[-1][1]:
                    merged[-1][1] = max(merged[-1][1], i1)
                else:
                    merged.append([i0, i1])
            for i0, i1 in merged:
                self._span(j, i0, i1, paint)

    def fill(self, contour_or_shape, paint):
        shape = contour_or_shape
        if shape and isinstance(shape[0][0], (int, float)):
            shape = [shape]
        self.fill_union([shape], paint)

    def stroke(self, points, width, paint, closed=False):
        self.fill_union(stroke_shapes(points, width, closed), paint)

    def _span(self, j, i0, i1, paint):
        R, G, B, A = self.ch
        base = j * self.sw
        y = (j + 0.5) / SS
        c = paint.row(y)
        if c is not None and c[3] >= 1.0:
            n = i1 - i0
            for arr, v in zip(self.ch, c):
                arr[base + i0:base + i1] = array('d', [v]) * n
            return
        for i in range(i0, i1):
            r, g, b, a = c if c is not None else paint.at((i + 0.5) / SS, y)
            p = base + i
            t = 1.0 - a
            R[p] = r * a + R[p] * t
            G[p] = g * a + G[p] * t
            B[p] = b * a + B[p] * t
            A[p] = a + A[p] * t

    def pixels(self):
        """Box-filtered result: list of rows of (r, g, b, a) ints, straight alpha."""
        S, sw = SS, self.sw
        inv = 1.0 / (S * S)
        out = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(S):
                    p = (y * S + sy) * sw + x * S
                    for n in range(4):
                        acc[n] += sum(self.ch[n][p:p + S])
                a = acc[3] * inv
                if a <= 1e-9:
                    row.append((0, 0, 0, 0))
                    continue
                px = [min(255, int(acc[n] * inv / a * 255.0 + 0.5)) for n in range(3)]
                row.append((px[0], px[1], px[2], min(255, int(a * 255.0 + 0.5))))
            out.append(row)
        return out


# ----------------------------------------------------------------------------
# Colours


INK = (24, 44, 82)
TITLE_TOP, TITLE_BOTTOM = (92, 158, 238), (36, 96, 196)
PAGE = (255, 255, 255)
ROW_BAR = (170, 184, 204)
CUBE_TOP, CUBE_LEFT, CUBE_RIGHT, CUBE_EDGE = (200, 236, 255), (80, 160, 230), (30, 88, 170), (20, 48, 96)
MANILA_BACK, MANILA_TOP, MANILA_BOTTOM, MANILA_EDGE = (226, 172, 70), (255, 232, 150), (244, 196, 86), (156, 110, 26)


# ----------------------------------------------------------------------------
# Shared pieces


def draw_window(c, x0, y0, x1, y1, bar, rows, row_gap, edge=1):
    """A small application window: dark frame, blue title bar, white list body.

    Rows are snapped to whole pixels so that the bullets stay crisp in the icons."""
    c.fill(round_rect(x0, y0, x1, y1, 1.5), INK)
    c.fill(round_rect(x0 + edge, y0 + edge, x1 - edge, y0 + bar, 0.8, bottom=False),
           Linear((0, y0), (0, y0 + bar), TITLE_TOP, TITLE_BOTTOM))
    c.fill(rect(x0 + edge, y0 + bar, x1 - edge, y1 - edge), PAGE)
    bullets = [(222, 70, 60), (60, 170, 90), (240, 160, 40), (70, 140, 220)]
    size = max(1, round(row_gap * 0.9))
    left = x0 + edge + round(row_gap * 0.6)
    for n in range(rows):
        y = y0 + bar + round(row_gap * (1 + 1.9 * n))
        if y + size > y1 - edge - row_gap * 0.5:
            break
        right = x1 - edge - round(row_gap * (0.6 + 1.2 * (n % 2)))
        c.fill(rect(left, y, left + size, y + size), bullets[n % 4])
        c.fill(rect(left + size + 1, y + size * 0.25, right, y + size * 0.75), ROW_BAR)


def draw_cube(c, cx, top, a, edge_w):
    """Isometric cube: top vertex at (cx, top), half width a."""
    h = a * 1.08
    T, R, C, L = (cx, top), (cx + a, top + a / 2), (cx, top + a), (cx - a, top + a / 2)
    L2, B, R2 = (cx - a, top + a / 2 + h), (cx, top + a + h), (cx + a, top + a / 2 + h)
    c.fill([T, R, C, L], CUBE_TOP)
    c.fill([L, C, B, L2], CUBE_LEFT)
    c.fill([C, R, R2, B], CUBE_RIGHT)
    shapes = stroke_shapes([T, R, R2, B, L2, L], edge_w, closed=True)
    shapes += stroke_shapes([L, C, R], edge_w * 0.8) + stroke_shapes([C, B], edge_w * 0.8)
    c.fill_union(shapes, CUBE_EDGE)
    # a glint on the top face
    c.fill([(cx, top + a * 0.22), (cx + a * 0.45, top + a * 0.45), (cx, top + a * 0.68), (cx - a * 0.45, top + a * 0.45)],
           (255, 255, 255, 110))


def draw_cubes(c, x, y, a, edge_w, gap):
    """Three registry cubes, two side by side with one resting on them."""
    h = a * 1.08
    low = y + a / 2 + h + gap * 0.5
    draw_cube(c, x - a - gap / 2, low, a, edge_w)
    draw_cube(c, x + a + gap / 2, low, a, edge_w)
    draw_cube(c, x, y, a, edge_w)


def draw_pixels(c, x, y, rows, colours):
    """Hand-placed pixels for the smallest pictures: one character per pixel, '.' is left alone."""
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            if ch != '.':
                c.fill(rect(x + i, y + j, x + i + 1, y + j + 1), colours[ch])


# ----------------------------------------------------------------------------
# The rocket (points up in its own frame; nose at y = -9, tail at y = +6)


def rocket_body():
    """Outline of the hull: slightly narrower at the tail, an elliptic ogive to the nose."""
    pts = []
    for k in range(13):  # left flank, from the tail (t = 0) up to the nose (t = 1)
        t = k / 12.0
        if t <= 0.28:
            half = 2.5 + 0.5 * t / 0.28
        else:
            half = 3.0 * math.sqrt(max(0.0, 1.0 - ((t - 0.28) / 0.72) ** 2))
        pts.append((-half, 6.0 - 15.0 * t))
    return pts + [(-x, y) for x, y in reversed(pts[:-1])]


def draw_rocket(c, ox, oy, angle, scale):
    """The rocket centred at (ox, oy), turned by angle degrees."""
    def tr(pts):
        return transform(pts, ox, oy, angle, scale)

    # flame
    flame_out = [(-2.4, 5.5)] + arc_points(0, 7.5, 2.4, 6.5, 180, 0, 10)[1:] + [(2.4, 5.5)]
    flame_in = [(-1.3, 5.5)] + arc_points(0, 7.0, 1.3, 4.0, 180, 0, 10)[1:] + [(1.3, 5.5)]
    c.stroke(tr(flame_out), 0.9 * scale, (214, 70, 10), closed=True)
    c.fill(tr(flame_out), (255, 130, 24))
    c.fill(tr(flame_in), (255, 224, 90))
    # fins
    fin_l = [(-2.2, 0.5), (-5.4, 4.6), (-5.2, 7.0), (-2.0, 5.4)]
    fin_r = [(-x, y) for x, y in fin_l]
    for fin in (fin_l, fin_r):
        c.fill(tr(fin), (214, 52, 48))
        c.stroke(tr(fin), scale, INK, closed=True)
    body = rocket_body()
    c.fill(tr(body), Linear(tr([(-3, 0)])[0], tr([(3, 0)])[0], (255, 255, 255), (196, 206, 222)))
    c.fill(tr(clip_above(body, -4.6)), (220, 56, 50))
    c.fill(tr(ellipse(0, -1.2, 1.7)), INK)
    c.fill(tr(ellipse(0, -1.2, 1.05)), Radial(tr([(-0.4, -1.6)])[0], 1.3 * scale, (170, 230, 255), (40, 130, 220)))
    c.stroke(tr(body), scale, INK, closed=True)


# ----------------------------------------------------------------------------
# The icons, each drawn in its own 32 x 32 or 16 x 16 frame


def art_app32(c):
    draw_window(c, 1, 8, 25, 31, 6, 3, 2.4)
    draw_rocket(c, 20.8, 11.2, 45, 1.12)


ROCKET16 = [
    "...K...",
    "..KRK..",
    ".KRRRK.",
    ".KWWsK.",
    ".KWcsK.",
    ".KWWsK.",
    ".KWWsK.",
    "KKWWsKK",
    "KrKWKrK",
    "KrKKKrK",
    "KKoyoKK",
    "..oyo..",
    "...o...",
]
ROCKET16_COLOURS = {
    'K': INK, 'R': (230, 62, 52), 'r': (206, 48, 44), 'W': (255, 255, 255), 's': (190, 202, 220),
    'c': (40, 130, 220), 'o': (255, 130, 24), 'y': (255, 226, 96),
}


def art_app16(c):
    c.fill(round_rect(0, 4, 12, 16, 0.8), INK)
    c.fill(rect(1, 5, 11, 7), Linear((0, 5), (0, 7), TITLE_TOP, TITLE_BOTTOM))
    c.fill(rect(1, 7, 11, 15), PAGE)
    c.fill(rect(2, 9, 4, 11), (222, 70, 60))
    c.fill(rect(5, 9, 9, 11), ROW_BAR)
    c.fill(rect(2, 12, 4, 14), (60, 170, 90))
    c.fill(rect(5, 12, 8, 14), ROW_BAR)
    draw_pixels(c, 9, 0, ROCKET16, ROCKET16_COLOURS)


def art_backup(c):
    draw_cubes(c, 10.5, 1.0, 4.6, 0.9, 1.2)
    page = [(14.5, 12.5), (25.5, 12.5), (30.5, 17.5), (30.5, 31), (14.5, 31)]
    c.fill(page, Linear((14, 12), (31, 31), (255, 255, 255), (222, 230, 242)))
    c.fill([(25.5, 12.5), (25.5, 17.5), (30.5, 17.5)], (196, 208, 226))
    c.stroke(page, 1.0, INK, closed=True)
    c.stroke([(25.5, 12.5), (25.5, 17.5), (30.5, 17.5)], 1.0, INK)
    for n, right in enumerate((23.0, 27.5, 26.0, 27.5, 24.0)):  # lines of text
        y = 16.0 + n * 2.8
        c.fill(rect(17.0, y + 0.2, right, y + 1.4), (110, 130, 164))


def art_exit(c):
    def power(w):
        arc = arc_points(16, 17, 10.5, 10.5, -55, 235, 4)
        return stroke_shapes(arc, w) + stroke_shapes([(16, 3.5), (16, 15)], w)

    c.fill_union(power(6.2), (120, 18, 18))
    c.fill_union(power(3.8), Linear((0, 4), (0, 28), (255, 112, 92), (206, 36, 30)))


def art_refresh(c):
    draw_window(c, 1, 2, 23, 22, 5.0, 4, 2.1)
    c.stroke([(23.2, 22.2), (28.6, 28.4)], 5.2, INK)
    c.stroke([(23.6, 22.6), (28.4, 28.2)], 3.0, Linear((23, 22), (29, 28), (140, 96, 60), (84, 52, 28)))
    c.fill([ellipse(18, 17, 8.6), ellipse(18, 17, 6.4)], INK)
    c.fill([ellipse(18, 17, 7.8), ellipse(18, 17, 6.4)],
           Linear((11, 10), (25, 24), (226, 232, 240), (120, 134, 156)))
    c.fill(ellipse(18, 17, 6.4), (150, 215, 255, 90))
    c.stroke(arc_points(18, 17, 4.6, 4.6, 200, 260, 5), 1.3, (255, 255, 255, 220))


def art_remove(c):
    c.fill(ellipse(16, 16, 15), (16, 50, 120))
    c.fill(ellipse(16, 16, 14), Linear((0, 2), (0, 30), (96, 170, 250), (22, 86, 196)))
    c.fill(ellipse(16, 9.5, 10.5, 6.5), Linear((0, 3), (0, 16), (255, 255, 255, 120), (255, 255, 255, 0)))
    shadow = stroke_shapes([(10.5, 11.5), (21.5, 22.5)], 4.4) + stroke_shapes([(21.5, 11.5), (10.5, 22.5)], 4.4)
    c.fill_union(shadow, (0, 20, 70, 90))
    x = stroke_shapes([(10.5, 10.5), (21.5, 21.5)], 4.4) + stroke_shapes([(21.5, 10.5), (10.5, 21.5)], 4.4)
    c.fill_union(x, (255, 255, 255))


def art_folder(c):
    back = [(0.5, 2.5), (5.5, 2.5), (7, 4), (14.5, 4), (14.5, 13.5), (0.5, 13.5)]
    c.fill(back, MANILA_BACK)
    c.stroke(back, 1.0, MANILA_EDGE, closed=True)
    front = [(2.5, 6.5), (15.5, 6.5), (14.5, 13.5), (0.5, 13.5)]
    c.fill(front, Linear((0, 6.5), (0, 13.5), MANILA_TOP, MANILA_BOTTOM))
    c.stroke(front, 1.0, MANILA_EDGE, closed=True)


CUBE16 = [
    ".KKKKK.",
    "KTTTTTK",
    "KLTTTDK",
    "KLLTDDK",
    "KLLLDDK",
    "KLLLDDK",
    "KLLLDDK",
    ".KKKKK.",
]
CUBE16_COLOURS = {'K': CUBE_EDGE, 'T': CUBE_TOP, 'L': CUBE_LEFT, 'D': CUBE_RIGHT}


def art_registry(c):
    draw_pixels(c, 0, 8, CUBE16, CUBE16_COLOURS)
    draw_pixels(c, 8, 8, CUBE16, CUBE16_COLOURS)
    draw_pixels(c, 4, 1, CUBE16, CUBE16_COLOURS)


def art_app_task(c):
    """A packaged app: four tiles."""
    colours = ((232, 72, 44), (120, 186, 40), (20, 140, 232), (252, 186, 18))
    for n, colour in enumerate(colours):
        x, y = 1.5 + (n % 2) * 7, 1.5 + (n // 2) * 7
        c.fill(round_rect(x, y, x + 6, y + 6, 1.2), colour)
        c.stroke(round_rect(x, y, x + 6, y + 6, 1.2), 0.8, INK, closed=True)


def art_logon(c):
    """A value run at logon: a user."""
    c.fill(round_rect(2.5, 9.5, 13.5, 15.5, 4.5, bottom=False), Linear((0, 9), (0, 15), (96, 170, 250), (22, 86, 196)))
    c.stroke(round_rect(2.5, 9.5, 13.5, 15.5, 4.5, bottom=False), 0.9, INK, closed=True)
    c.fill(ellipse(8, 5.5, 3.6), Linear((0, 2), (0, 9), (255, 226, 190), (226, 170, 120)))
    c.stroke(ellipse(8, 5.5, 3.6), 0.9, INK, closed=True)


def art_task(c):
    """A scheduled task: a clock."""
    c.fill(ellipse(8, 8, 7.2), INK)
    c.fill(ellipse(8, 8, 6.2), Linear((0, 1), (0, 15), (255, 255, 255), (214, 224, 238)))
    c.stroke([(8, 8), (8, 3.6)], 1.3, INK)
    c.stroke([(8, 8), (11.2, 9.8)], 1.3, INK)


# ----------------------------------------------------------------------------
# A small stroke font (cap height 10 units, x height 7, baseline at y = 10)


def _glyphs():
    e = arc_points
    return {
        'L': ([[(0, 0), (0, 10), (5.6, 10)]], [], 5.6),
        'u': ([[(0, 3)] + e(2.7, 7.3, 2.7, 2.7, 180, 0), [(5.4, 3), (5.4, 10)]], [], 5.4),
        'm': ([[(0, 3), (0, 10)],
               e(2.0, 5.0, 2.0, 2.0, 180, 360) + [(4.0, 10)],
               e(6.0, 5.0, 2.0, 2.0, 180, 360) + [(8.0, 10)]], [], 8.0),
        'n': ([[(0, 3), (0, 10)], e(2.7, 5.7, 2.7, 2.7, 180, 360) + [(5.4, 10)]], [], 5.4),
        'i': ([[(0, 3), (0, 10)]], [(0, 0.6)], 0.0),
        'v': ([[(0, 3), (2.9, 10), (5.8, 3)]], [], 5.8),
        'a': ([e(2.7, 6.5, 2.7, 3.5, 0, 360), [(5.4, 3), (5.4, 10)]], [], 5.4),
        'e': ([[(0, 6.5)] + e(2.8, 6.5, 2.8, 3.5, 0, -320)], [], 5.6),
        '1': ([[(0, 2.2), (2.3, 0), (2.3, 10)]], [], 2.3),
        '0': ([e(2.9, 5.0, 2.9, 5.0, 0, 360)], [], 5.8),
        '5': ([[(5.4, 0), (0.9, 0), (0.5, 4.6)] + e(2.8, 6.8, 2.9, 3.2, -131, 150)], [], 5.7),
        '.': ([], [(0.0, 10.0)], 0.0),
        ' ': ([], [], 2.0),
    }


GLYPHS = _glyphs()


def text_shapes(text, x, baseline, unit, width, spacing=2.2):
    """Shapes of text in the stroke font; returns (shapes, advance in pixels)."""
    shapes = []
    pen = x
    for ch in text:
        strokes, dots, w = GLYPHS[ch]
        for s in strokes:
            shapes += stroke_shapes([(pen + px * unit, baseline + (py - 10) * unit) for px, py in s], width)
        for px, py in dots:
            shapes.append([ellipse(pen + px * unit, baseline + (py - 10) * unit, width * 0.62)])
        pen += (w + spacing) * unit
    return shapes, pen - x - spacing * unit


def draw_text(c, text, x, baseline, unit, width, paint, spacing=2.2):
    shapes, adv = text_shapes(text, x, baseline, unit, width, spacing)
    c.fill_union(shapes, paint)
    return adv


# ----------------------------------------------------------------------------
# The About picture


def draw_icon(c, art, x, y, size, frame=32):
    old = c.place(x, y, size / float(frame))
    art(c)
    c.restore(old)


def art_about(c):
    W, H = c.w, c.h
    c.fill(rect(0, 0, W, H), Linear((0, 0), (0, H), (246, 250, 255), (196, 216, 240)))
    # soft light from the upper left
    for n, (a0, a1) in enumerate(((-8, 6), (14, 26), (36, 44))):
        wedge = [(-10, -10)] + arc_points(-10, -10, 520, 520, a0, a1, 2)
        c.fill(wedge, (255, 255, 255, 46 - 10 * n))
    c.fill(ellipse(44, 40, 40), Radial((44, 40), 40, (255, 255, 255, 150), (255, 255, 255, 0)))

    # heading: the application icon, the name and the version
    draw_icon(c, art_app32, 16, 14, 48)
    c.fill_union(text_shapes('Lumivane', 81, 49, 2.7, 3.6)[0], (24, 44, 82, 50))
    adv = draw_text(c, 'Lumivane', 79.5, 47.5, 2.7, 3.6, Linear((0, 20), (0, 48), (52, 104, 190), (22, 46, 104)))
    draw_text(c, 'v1.0.5', 80.5 + adv - 50, 66, 1.25, 1.55, (84, 104, 138))
    c.fill(rect(80, 57.5, 80 + adv - 58, 58.5), (120, 150, 200, 120))

    # the main window
    x0, y0, x1, y1 = 18, 80, 282, 238
    for n in range(6):
        g = 5 - n
        c.fill(round_rect(x0 + 2 - g, y0 + 4 - g, x1 + 2 + g, y1 + 4 + g, 6 + g), (20, 40, 80, 10))
    c.fill(round_rect(x0, y0, x1, y1, 5), (62, 92, 140))
    c.fill(round_rect(x0 + 1, y0 + 1, x1 - 1, y0 + 19, 4, bottom=False),
           Linear((0, y0), (0, y0 + 19), (104, 164, 236), (40, 98, 190)))
    c.fill(round_rect(x0 + 1, y0 + 19, x1 - 1, y1 - 1, 4, top=False), (240, 243, 248))
    draw_icon(c, art_app16, x0 + 4, y0 + 2, 16, 16)
    draw_text(c, 'Lumivane', x0 + 25, y0 + 14, 0.95, 1.35, (255, 255, 255))
    for n, col in enumerate(((200, 60, 50), (90, 130, 190), (90, 130, 190))):
        bx = x1 - 16 - n * 15
        c.fill(round_rect(bx, y0 + 4, bx + 12, y0 + 15, 2), col)
        c.fill(round_rect(bx + 0.5, y0 + 4.5, bx + 11.5, y0 + 9.5, 1.6, bottom=False), (255, 255, 255, 50))
    cx0 = x1 - 16
    c.stroke([(cx0 + 3.8, y0 + 6.8), (cx0 + 8.2, y0 + 12.2)], 1.4, (255, 255, 255))
    c.stroke([(cx0 + 8.2, y0 + 6.8), (cx0 + 3.8, y0 + 12.2)], 1.4, (255, 255, 255))
    c.stroke(rect(x1 - 27.5, y0 + 7.5, x1 - 22.5, y0 + 11.5), 1.1, (255, 255, 255), closed=True)
    c.fill(rect(x1 - 42.5, y0 + 11, x1 - 36.5, y0 + 12.3), (255, 255, 255))

    # the list of start-up entries
    lx0, ly0, lx1, ly1 = x0 + 8, y0 + 27, x1 - 62, y1 - 9
    c.fill(rect(lx0, ly0, lx1, ly1), (150, 166, 190))
    c.fill(rect(lx0 + 1, ly0 + 1, lx1 - 1, ly1 - 1), (255, 255, 255))
    c.fill(rect(lx0 + 1, ly0 + 1, lx1 - 1, ly0 + 13), Linear((0, ly0), (0, ly0 + 13), (252, 253, 255), (228, 234, 243)))
    c.fill(rect(lx0 + 1, ly0 + 13, lx1 - 1, ly0 + 14), (200, 210, 224))
    col2 = lx0 + 96
    c.fill(rect(col2 - 4, ly0 + 2, col2 - 3, ly0 + 12), (200, 210, 224))
    c.fill(round_rect(lx0 + 7, ly0 + 5.5, lx0 + 35, ly0 + 8.5, 1.5), (120, 136, 160))
    c.fill(round_rect(col2 + 3, ly0 + 5.5, col2 + 35, ly0 + 8.5, 1.5), (120, 136, 160))
    entries = [
        (art_registry, 54, 70), (art_registry, 40, 84), (art_registry, 62, 58),
        (art_folder, 46, 76), (art_folder, 34, 64), (art_registry, 50, 80),
    ]
    ry = ly0 + 16
    for n, (art, name_w, path_w) in enumerate(entries):
        if ry + 18 > ly1:
            break
        selected = n == 1
        if selected:
            c.fill(round_rect(lx0 + 2, ry, lx1 - 2, ry + 18, 2.5), (122, 170, 232))
            c.fill(round_rect(lx0 + 3, ry + 1, lx1 - 3, ry + 17, 2),
                   Linear((0, ry), (0, ry + 18), (232, 242, 254), (196, 222, 250)))
        draw_icon(c, art, lx0 + 5, ry + 1, 16, 16)
        c.fill(round_rect(lx0 + 25, ry + 7, lx0 + 25 + name_w * 0.9, ry + 11, 2),
               (40, 56, 84) if selected else (70, 84, 108))
        c.fill(round_rect(col2 + 3, ry + 7, col2 + 3 + path_w * 0.62, ry + 11, 2),
               (110, 140, 186) if selected else (160, 174, 196))
        ry += 20

    # the command buttons, with the program's own button icons
    bx0, bx1 = x1 - 55, x1 - 8
    for n, art in enumerate((art_remove, art_backup, art_refresh, art_exit)):
        by = ly0 + n * 30
        c.fill(round_rect(bx0, by, bx1, by + 24, 3), (140, 156, 182))
        c.fill(round_rect(bx0 + 1, by + 1, bx1 - 1, by + 23, 2.4),
               Linear((0, by), (0, by + 24), (255, 255, 255), (222, 229, 240)))
        draw_icon(c, art, bx0 + 5, by + 4, 16)
        c.fill(round_rect(bx0 + 25, by + 10.5, bx1 - 6 - 3 * (n % 2), by + 13.5, 1.5), (92, 106, 130))


# ----------------------------------------------------------------------------
# File formats


def render(w, h, art):
    c = Canvas(w, h)
    art(c)
    return c.pixels()


def median_cut(counts, n):
    """Up to n colours representing the weighted colour set counts {rgb: count}."""
    boxes = [sorted(counts)]
    while len(boxes) < n:
        best, best_key = None, None
        for k, box in enumerate(boxes):
            if len(box) < 2:
                continue
            span = max(max(c[ch] for c in box) - min(c[ch] for c in box) for ch in range(3))
            key = (span * sum(counts[c] for c in box), -k)
            if best_key is None or key > best_key:
                best, best_key = k, key
        if best is None:
            break
        box = boxes[best]
        ch = max(range(3), key=lambda i: (max(c[i] for c in box) - min(c[i] for c in box), -i))
        box = sorted(box, key=lambda c: (c[ch], c))
        total, acc, cut = sum(counts[c] for c in box), 0, 1
        for k, c in enumerate(box):
            acc += counts[c]
            if acc * 2 >= total:
                cut = min(max(k + 1, 1), len(box) - 1)
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    pal = []
    for box in boxes:
        t = sum(counts[c] for c in box)
        pal.append(tuple(int(sum(c[i] * counts[c] for c in box) / t + 0.5) for i in range(3)))
    return pal


def and_mask(w, h, pixels, opaque):
    stride = ((w + 31) // 32) * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if not opaque(pixels[y][x]):
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def ico_image_32(w, h, pixels):
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for r, g, b, a in pixels[y]:
            xor += bytes((b, g, r, a)) if a else bytes(4)
    mask = and_mask(w, h, pixels, lambda p: p[3] >= 128)
    head = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return head + bytes(xor) + mask


def ico_image_8(w, h, pixels):
    """256-colour image: palette from the picture, transparency from the mask."""
    opaque = lambda p: p[3] >= 128
    counts = {}
    for row in pixels:
        for p in row:
            if opaque(p):
                counts[p[:3]] = counts.get(p[:3], 0) + 1
    colours = sorted(counts)
    pal = [(0, 0, 0)] + (colours if len(colours) <= 255 else median_cut(counts, 255))
    pal += [(0, 0, 0)] * (256 - len(pal))
    index, cache = bytearray(), {}
    stride = (w + 3) & ~3
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x, p in enumerate(pixels[y]):
            if not opaque(p):
                continue
            rgb = p[:3]
            if rgb not in cache:
                cache[rgb] = min(range(1, 256), key=lambda i: (sum((a - b) ** 2 for a, b in zip(rgb, pal[i])), i))
            row[x] = cache[rgb]
        index += row
    mask = and_mask(w, h, pixels, opaque)
    head = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 8, 0, len(index) + len(mask), 0, 0, 256, 0)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in pal)
    return head + palette + bytes(index) + mask


def ico_file(images):
    """images: list of (width, height, bits per pixel, image bytes)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, bpp, data in images:
        out += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b''.join(d for _, _, _, d in images)


def bmp_file(w, h, pixels):
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for r, g, b, a in pixels[y]:
            row += bytes((b, g, r))
        data += row + bytes(stride - len(row))
    head = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return head + info + bytes(data)


# ----------------------------------------------------------------------------
# Previews: read the written files back and save them as enlarged PNGs


def read_ico(data):
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    assert kind == 1, 'not an icon'
    images = []
    for n in range(count):
        bw, bh, _, _, _, bpp, size, off = struct.unpack_from('<BBBBHHII', data, 6 + 16 * n)
        hs, w, h2, _, bits, comp = struct.unpack_from('<IiiHHI', data, off)
        h = h2 // 2
        assert hs == 40 and comp == 0 and bits == bpp and w == (bw or 256) and h == (bh or 256)
        p = off + 40
        pal = []
        if bits == 8:
            pal = [struct.unpack_from('<BBBB', data, p + 4 * i)[2::-1] for i in range(256)]
            p += 1024
        stride = ((w * bits + 31) // 32) * 4
        mstride = ((w + 31) // 32) * 4
        mbase = p + stride * h
        assert mbase + mstride * h == off + size, 'image size'
        rows = []
        for y in range(h):
            src = p + (h - 1 - y) * stride
            msk = mbase + (h - 1 - y) * mstride
            row = []
            for x in range(w):
                hidden = data[msk + (x >> 3)] & (0x80 >> (x & 7))
                if bits == 32:
                    b, g, r, a = data[src + 4 * x:src + 4 * x + 4]
                else:
                    r, g, b = pal[data[src + x]]
                    a = 0 if hidden else 255
                row.append((r, g, b, a))
            rows.append(row)
        images.append((w, h, bits, rows))
    return images


def read_bmp(data):
    off = struct.unpack_from('<I', data, 10)[0]
    _, w, h, _, bits = struct.unpack_from('<IiiHH', data, 14)
    assert bits == 24
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h):
        p = off + (h - 1 - y) * stride
        rows.append([(data[p + 3 * x + 2], data[p + 3 * x + 1], data[p + 3 * x], 255) for x in range(w)])
    return rows


def png_file(rows):
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for p in row:
            raw += bytes(p[:3])

    def chunk(tag, body):
        return struct.pack('>I', len(body)) + tag + body + struct.pack('>I', zlib.crc32(tag + body) & 0xffffffff)

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def over(p, bg):
    a = p[3] / 255.0
    return tuple(int(p[i] * a + bg[i] * (1 - a) + 0.5) for i in range(3))


def icon_sheet(rows, zoom=8):
    """The icon enlarged on a checkerboard, and below it at actual size on light, grey and dark."""
    h, w = len(rows), len(rows[0])
    pad = 8
    W = max(w * zoom, 3 * 2 * w) + 2 * pad
    H = h * zoom + 2 * h + 3 * pad
    sheet = [[(255, 255, 255)] * W for _ in range(H)]
    for y in range(h * zoom):
        for x in range(w * zoom):
            chk = (204, 204, 204) if ((x // zoom) + (y // zoom)) % 2 else (244, 244, 244)
            sheet[pad + y][pad + x] = over(rows[y // zoom][x // zoom], chk)
    top = h * zoom + 2 * pad
    for n, bg in enumerate(((255, 255, 255), (212, 208, 200), (40, 44, 52))):
        x0 = pad + n * 2 * w
        for y in range(2 * h):
            for x in range(2 * w):
                inside = w // 2 <= x < w // 2 + w and h // 2 <= y < h // 2 + h
                sheet[top + y][x0 + x] = over(rows[y - h // 2][x - w // 2], bg) if inside else bg
    return sheet


def write_previews(files, outdir):
    os.makedirs(outdir, exist_ok=True)
    for path in files:
        with open(path, 'rb') as f:
            data = f.read()
        base = os.path.splitext(os.path.basename(path))[0]
        if path.endswith('.ico'):
            for w, h, bits, rows in read_ico(data):
                name = os.path.join(outdir, '%s-%dx%d-%dbpp.png' % (base, w, h, bits))
                with open(name, 'wb') as f:
                    f.write(png_file(icon_sheet(rows)))
        else:
            rows = read_bmp(data)
            with open(os.path.join(outdir, base + '.png'), 'wb') as f:
                f.write(png_file(rows))
            big = [[p for p in row for _ in (0, 1)] for row in rows for _ in (0, 1)]
            with open(os.path.join(outdir, base + '-2x.png'), 'wb') as f:
                f.write(png_file(big))


# ----------------------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--preview', metavar='DIR', help='also write PNG previews of every image to DIR')
    ap.add_argument('--out', metavar='DIR', help='resource directory (default: res/ of this repository)')
    args = ap.parse_args()

    res = args.out or os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, 'res')
    res = os.path.normpath(res)
    icons = os.path.join(res, 'icons')
    os.makedirs(icons, exist_ok=True)

    def ico32(art, size=32):
        return (size, size, 32, ico_image_32(size, size, render(size, size, art)))

    outputs = [
        ('icons/lumivane.ico', lambda: ico_file([
            (32, 32, 8, ico_image_8(32, 32, render(32, 32, art_app32))),
            (16, 16, 8, ico_image_8(16, 16, render(16, 16, art_app16)))])),
        ('icons/backup.ico', lambda: ico_file([ico32(art_backup)])),
        ('icons/exit.ico', lambda: ico_file([ico32(art_exit)])),
        ('icons/refresh.ico', lambda: ico_file([ico32(art_refresh)])),
        ('icons/remove.ico', lambda: ico_file([ico32(art_remove)])),
        ('icons/folder.ico', lambda: ico_file([ico32(art_folder, 16)])),
        ('icons/registry.ico', lambda: ico_file([ico32(art_registry, 16)])),
        ('icons/app_task.ico', lambda: ico_file([ico32(art_app_task, 16)])),
        ('icons/logon.ico', lambda: ico_file([ico32(art_logon, 16)])),
        ('icons/task.ico', lambda: ico_file([ico32(art_task, 16)])),
        ('about.bmp', lambda: bmp_file(300, 250, render(300, 250, art_about))),
    ]
    written = []
    for name, make in outputs:
        path = os.path.join(res, name)
        with open(path, 'wb') as f:
            f.write(make())
        written.append(path)
        print('wrote', os.path.relpath(path))
    if args.preview:
        write_previews(written, args.preview)
        print('previews in', args.preview)
    return 0


if __name__ == '__main__':
    sys.exit(main())
