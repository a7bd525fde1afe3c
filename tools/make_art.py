#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the player's icons, backdrop bitmap and disc picture into resources/.

Everything is drawn with code: a small signed-distance rasterizer with supersampled
edges, and hand-written ICO, BMP, GIF (with LZW) and PNG writers. Output is
deterministic, so running the script again reproduces the files byte for byte.

    make_art.py                 write the art into resources/
    make_art.py --check         parse the files back, compare with a fresh rendering
    make_art.py --preview DIR   write enlarged PNG contact sheets into DIR
    make_art.py --hicolor DIR   write the program icon for the icon theme: DIR/NxN/apps/vantora.png
                                and DIR/scalable/apps/vantora.svg
    --out DIR                   use DIR instead of resources/ (all modes)
"""

import argparse
import math
import os
import struct
import sys
import zlib

# --------------------------------------------------------------------------
# Shapes: signed distance (negative inside, in pixels) plus a bounding box.
# Union and offset keep exact distances; intersection and difference give a
# lower bound, which is all the edge detection below relies on.


class Shape:
    def sd(self, x, y):
        raise NotImplementedError

    def bbox(self):
        raise NotImplementedError


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def sd(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def bbox(self):
        return (self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r)


class Ellipse(Shape):
    """Scaled-circle distance: a 1-Lipschitz lower bound, fine for highlights."""

    def __init__(self, cx, cy, rx, ry):
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry

    def sd(self, x, y):
        k = math.hypot((x - self.cx) / self.rx, (y - self.cy) / self.ry)
        return (k - 1.0) * min(self.rx, self.ry)

    def bbox(self):
        return (self.cx - self.rx, self.cy - self.ry, self.cx + self.rx, self.cy + self.ry)


class Box(Shape):
    """Axis-aligned rectangle with rounded corners of radius r."""

    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.x0, self.y0, self.x1, self.y1, self.r = x0, y0, x1, y1, r
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hx, self.hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sd(self, x, y):
        qx = abs(x - self.cx) - self.hx
        qy = abs(y - self.cy) - self.hy
        out = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return out + min(max(qx, qy), 0.0) - self.r

    def bbox(self):
        return (self.x0, self.y0, self.x1, self.y1)


class Polygon(Shape):
    """Exact distance to a simple polygon; the sign follows the crossing rule."""

    def __init__(self, pts):
        self.pts = [(float(x), float(y)) for x, y in pts]

    def sd(self, x, y):
        v = self.pts
        n = len(v)
        d = (x - v[0][0]) ** 2 + (y - v[0][1]) ** 2
        s = 1.0
        j = n - 1
        for i in range(n):
            vix, viy = v[i]
            ex, ey = v[j][0] - vix, v[j][1] - viy
            wx, wy = x - vix, y - viy
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
            bx, by = wx - ex * t, wy - ey * t
            dd = bx * bx + by * by
            if dd < d:
                d = dd
            c1 = y >= viy
            c2 = y < v[j][1]
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or not (c1 or c2 or c3):
                s = -s
            j = i
        return s * math.sqrt(d)

    def bbox(self):
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        return (min(xs), min(ys), max(xs), max(ys))


class Union(Shape):
    def __init__(self, *parts):
        self.parts = parts

    def sd(self, x, y):
        return min(p.sd(x, y) for p in self.parts)

    def bbox(self):
        bs = [p.bbox() for p in self.parts]
        return (min(b[0] for b in bs), min(b[1] for b in bs),
                max(b[2] for b in bs), max(b[3] for b in bs))


class Intersect(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b

    def sd(self, x, y):
        return max(self.a.sd(x, y), self.b.sd(x, y))

    def bbox(self):
        a, b = self.a.bbox(), self.b.bbox()
        return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


class Subtract(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b

    def sd(self, x, y):
        return max(self.a.sd(x, y), -self.b.sd(x, y))

    def bbox(self):
        return self.a.bbox()


class Offset(Shape):
    """Grows (d > 0) or shrinks (d < 0) a shape, rounding grown corners."""

    def __init__(self, shape, d):
        self.shape, self.d = shape, d

    def sd(self, x, y):
        return self.shape.sd(x, y) - self.d

    def bbox(self):
        b = self.shape.bbox()
        d = max(self.d, 0.0)
        return (b[0] - d, b[1] - d, b[2] + d, b[3] + d)


class Move(Shape):
    def __init__(self, shape, dx, dy):
        self.shape, self.dx, self.dy = shape, dx, dy

    def sd(self, x, y):
        return self.shape.sd(x - self.dx, y - self.dy)

    def bbox(self):
        b = self.shape.bbox()
        return (b[0] + self.dx, b[1] + self.dy, b[2] + self.dx, b[3] + self.dy)


def ring(cx, cy, r_out, r_in):
    return Subtract(Circle(cx, cy, r_out), Circle(cx, cy, r_in))


def mirror_x(pts, width):
    return [(width - x, y) for x, y in pts]


# --------------------------------------------------------------------------
# Paints: a colour (r, g, b in 0..255, alpha in 0..1) for a pixel centre.


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def ramp(stops, t):
    """Colour at t along stops [(pos, (r, g, b, a)), ...] sorted by pos."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


def solid(c):
    c = c if len(c) == 4 else (c[0], c[1], c[2], 1.0)
    return lambda x, y: c


def linear(x0, y0, x1, y1, stops):
    dx, dy = x1 - x0, y1 - y0
    dd = dx * dx + dy * dy
    return lambda x, y: ramp(stops, ((x - x0) * dx + (y - y0) * dy) / dd)


def radial(cx, cy, r, stops):
    return lambda x, y: ramp(stops, math.hypot(x - cx, y - cy) / r)


def rgba(hexstr, a=1.0):
    v = int(hexstr, 16)
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, a)


# --------------------------------------------------------------------------
# Canvas: premultiplied colour, alpha-blended fills with supersampled edges.

SUPERSAMPLE = 8
_OFFS = [(i + 0.5) / SUPERSAMPLE for i in range(SUPERSAMPLE)]
_EDGE = 0.75  # beyond this distance from a pixel centre the pixel is all in or out


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]

    def coverage(self, shape, px, py):
        d = shape.sd(px + 0.5, py + 0.5)
        if d >= _EDGE:
            return 0.0
        if d <= -_EDGE:
            return 1.0
        hit = 0
        for oy in _OFFS:
            for ox in _OFFS:
                if shape.sd(px + ox, py + oy) < 0.0:
                    hit += 1
        return hit / (SUPERSAMPLE * SUPERSAMPLE)

    def fill(self, shape, paint, opacity=1.0):
        if not callable(paint):
            paint = solid(paint)
        b = shape.bbox()
        x0 = max(0, int(math.floor(b[0])) - 1)
        y0 = max(0, int(math.floor(b[1])) - 1)
        x1 = min(self.w, int(math.ceil(b[2])) + 1)
        y1 = min(self.h, int(math.ceil(b[3])) + 1)
        for py in range(y0, y1):
            for px in range(x0, x1):
                cov = self.coverage(shape, px, py)
                if cov <= 0.0:
                    continue
                r, g, bl, a = paint(px + 0.5, py + 0.5)
                self.blend(px, py, r, g, bl, a * cov * opacity)

    def blend(self, px, py, r, g, b, a):
        if a <= 0.0:
            return
        p = self.px[py * self.w + px]
        k = 1.0 - a
        p[0] = r * a + p[0] * k
        p[1] = g * a + p[1] * k
        p[2] = b * a + p[2] * k
        p[3] = a + p[3] * k

    def draw(self, other, opacity=1.0):
        """Composites another canvas of the same size over this one."""
        for p, q in zip(self.px, other.px):
            a = q[3] * opacity
            if a <= 0.0:
                continue
            k = 1.0 - a
            p[0] = q[0] * opacity + p[0] * k
            p[1] = q[1] * opacity + p[1] * k
            p[2] = q[2] * opacity + p[2] * k
            p[3] = a + p[3] * k

    def blurred(self, radius, passes=3):
        """Box blur repeated (close to a Gaussian); edges fade into transparency."""
        out = Canvas(self.w, self.h)
        out.px = [list(p) for p in self.px]
        for _ in range(passes):
            for horizontal in (True, False):
                n_lines, n = (self.h, self.w) if horizontal else (self.w, self.h)
                for line in range(n_lines):
                    idx = ([line * self.w + i for i in range(n)] if horizontal
                           else [i * self.w + line for i in range(n)])
                    src = [out.px[i] for i in idx]
                    res = []
                    for i in range(n):
                        acc = [0.0, 0.0, 0.0, 0.0]
                        for j in range(i - radius, i + radius + 1):
                            if 0 <= j < n:
                                s = src[j]
                                acc[0] += s[0]
                                acc[1] += s[1]
                                acc[2] += s[2]
                                acc[3] += s[3]
                        res.append([v / (2 * radius + 1) for v in acc])
                    for i, v in zip(idx, res):
                        out.px[i] = v
        return out

    def rgba8(self):
        """Straight-alpha 8-bit rows, top row first."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                a8 = to8(a * 255.0)
                if a8 < 3:  # invisible haze from blurs would only blur the AND mask
                    row.append((0, 0, 0, 0))
                else:
                    row.append((to8(r / a), to8(g / a), to8(b / a), a8))
            rows.append(row)
        return rows


def to8(v):
    v = int(v + 0.5)
    return 0 if v < 0 else (255 if v > 255 else v)


# --------------------------------------------------------------------------
# Transport icons: dark slate glyphs with a light edge and a faint shadow.

GLYPH_PAINT = [(0.0, rgba("56606e")), (0.55, rgba("2c3440")), (1.0, rgba("141a23"))]
LIT_PAINT = [(0.0, rgba("fff1a8")), (0.45, rgba("ffc233")), (1.0, rgba("e8820c"))]
EDGE_LIGHT = rgba("ffffff", 0.92)
LIT_RIM = rgba("8a4a00")


def transport_glyph(name, s):
    """The glyph of one transport icon in pixels of an s-pixel icon (16-unit grid)."""
    u = s / 16.0

    def sn(v):  # snap straight edges to whole pixels so they stay crisp
        return round(v * u)

    def g(v):
        return v * u

    r = 0.45 * u  # corner rounding
    if name == "PLAY":
        return Offset(Polygon([(sn(4.6) + r, g(2) + r * 1.6), (sn(4.6) + r, g(14) - r * 1.6),
                               (g(14.2) - r * 2, g(8))]), r)
    if name == "STOP":
        return Box(sn(3), sn(3), sn(13), sn(13), r)
    if name in ("PAUS", "PAU2"):
        return Union(Box(sn(4), sn(3), sn(7), sn(13), r), Box(sn(9), sn(3), sn(12), sn(13), r))
    if name in ("PREV", "NEXT"):
        tri = [(g(13.5) - r * 2, sn(2.5) + r * 1.6), (g(13.5) - r * 2, sn(13.5) - r * 1.6),
               (g(6.2) + r * 2, g(8))]
        bar = Box(sn(3), sn(3), sn(5), sn(13), r * 0.6)
        if name == "PREV":
            return Union(bar, Offset(Polygon(tri), r))
        return Union(Box(s - sn(5), sn(3), s - sn(3), sn(13), r * 0.6),
                     Offset(Polygon(mirror_x(tri, s)), r))
    if name in ("OPEN", "CLOS"):
        tri = Offset(Polygon([(g(8), g(2.3) + r * 2), (g(2.5) + r * 2, sn(9) - r),
                              (g(13.5) - r * 2, sn(9) - r)]), r)
        bar = Box(sn(3), sn(11), sn(13), sn(13.5), r * 0.6)
        # The icon names the door's state and shows the action the button takes: a closed door
        # shows the eject symbol, an open one the same symbol upside down (close the tray).
        if name == "CLOS":
            return Union(tri, bar)
        return FlipY(Union(tri, bar), s)
    raise ValueError(name)


class FlipY(Shape):
    """Mirror image of a shape across the horizontal midline of an h-pixel icon."""

    def __init__(self, shape, h):
        self.shape, self.h = shape, h

    def sd(self, x, y):
        return self.shape.sd(x, self.h - y)

    def bbox(self):
        b = self.shape.bbox()
        return (b[0], self.h - b[3], b[2], self.h - b[1])


def draw_transport(name, s):
    c = Canvas(s, s)
    u = s / 16.0
    glyph = transport_glyph(name, s)
    edge = {16: 1.0, 24: 1.3, 32: 1.6}.get(s, s / 20.0)
    box = glyph.bbox()
    top, bottom = box[1], box[3]
    if name == "PAU2":
        glow = Canvas(s, s)
        glow.fill(Offset(glyph, edge * 1.2), rgba("ffb020", 0.9))
        c.draw(glow.blurred(max(1, int(round(u))), 2))
        c.fill(Offset(glyph, edge * 0.55), rgba("fff4d6", 0.85))
        c.fill(glyph, LIT_RIM)
        c.fill(Offset(glyph, -0.75 * u), linear(0, top, 0, bottom, LIT_PAINT))
        return c
    shadow = Canvas(s, s)
    shadow.fill(Move(Offset(glyph, edge * 0.5), 0, 0.7 * u), rgba("000000", 0.35))
    c.draw(shadow.blurred(max(1, int(round(u * 0.75))), 2))
    c.fill(Offset(glyph, edge), EDGE_LIGHT)
    c.fill(glyph, linear(0, top, 0, bottom, GLYPH_PAINT))
    if s >= 24:  # a faint sheen along the glyph's upper edges
        c.fill(Subtract(glyph, Move(glyph, 0, 0.9 * u)), rgba("ffffff", 0.22))
    return c


# --------------------------------------------------------------------------
# Disc and beads.


def hsv(h, s, v):
    h = (h % 1.0) * 6.0
    i = int(h)
    f = h - i
    p, q, t = v * (1 - s), v * (1 - s * f), v * (1 - s * (1 - f))
    r, g, b = [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i % 6]
    return (r * 255, g * 255, b * 255)


def disc_paint(cx, cy, R):
    """Silver disc with two opposite rainbow sheens, as a lit CD shows them."""
    base = linear(cx - R, cy - R, cx + R, cy + R,
                  [(0.0, rgba("f4f6f9")), (0.5, rgba("cfd4db")), (1.0, rgba("a9b0ba"))])

    def paint(x, y):
        r0, g0, b0, _ = base(x, y)
        dx, dy = x - cx, y - cy
        rad = math.hypot(dx, dy) / R
        ang = math.atan2(dy, dx)
        w = max(0.0, math.cos(2.0 * (ang - 0.55))) ** 1.5 * 0.72
        hue = 0.98 - rad * 0.85 + (0.05 if math.cos(ang - 0.55) > 0 else -0.05)
        tr, tg, tb = hsv(hue, 0.62, 1.0)
        return (r0 + (tr - r0) * w, g0 + (tg - g0) * w, b0 + (tb - b0) * w, 1.0)

    return paint


def draw_disc(c, cx, cy, R):
    """A compact disc of radius R centred at (cx, cy), hole left transparent."""
    rim = max(0.8, R * 0.085)
    hole = max(1.25, R * 0.17)
    hub = R * 0.40
    disc = Subtract(Circle(cx, cy, R), Circle(cx, cy, hole))
    c.fill(disc, rgba("6c7480"))
    c.fill(Subtract(Circle(cx, cy, R - rim), Circle(cx, cy, hole)), disc_paint(cx, cy, R))
    if R >= 14:  # faint grooves of the data area, where there are pixels enough
        for k in (0.55, 0.7, 0.85):
            c.fill(ring(cx, cy, R * k + 0.35, R * k - 0.35), rgba("5a6270", 0.10))
        c.fill(ring(cx, cy, R - rim * 1.6, R - rim * 2.3), rgba("ffffff", 0.35))
    # clear plastic hub around the hole
    c.fill(ring(cx, cy, hub, hole),
           radial(cx, cy, hub, [(0.0, rgba("ffffff", 0.7)), (1.0, rgba("e6eaf0", 0.85))]))
    if R >= 10:
        c.fill(ring(cx, cy, hub + rim * 0.55, hub - rim * 0.05), rgba("8a929e", 0.85))
    c.fill(ring(cx, cy, hole + rim * 0.9, hole), rgba("6c7480"))
    # a soft highlight on the upper left
    gl = Canvas(c.w, c.h)
    gl.fill(Intersect(Ellipse(cx - R * 0.42, cy - R * 0.5, R * 0.42, R * 0.2),
                      Circle(cx, cy, R - rim)), rgba("ffffff", 0.55))
    c.draw(gl)


def draw_cd_icon(s):
    c = Canvas(s, s)
    R = s / 2.0 - (0.25 if s <= 16 else s / 48.0)
    draw_disc(c, s / 2.0, s / 2.0, R)
    return c


BEADS = {
    "green": [rgba("e9ffd8"), rgba("5fdc4e"), rgba("1f9a2a"), rgba("0b5418"), rgba("07380f")],
    "blue": [rgba("e4f2ff"), rgba("5aa8ff"), rgba("1d63d6"), rgba("0c2f85"), rgba("071d5c")],
}


def draw_bead(kind, s):
    """A glossy round bead lit from the upper left."""
    hi, light, mid, dark, rim = BEADS[kind]
    c = Canvas(s, s)
    cx = cy = s / 2.0
    R = s * 0.38
    body = Circle(cx, cy, R)
    sh = Canvas(s, s)
    sh.fill(Move(Circle(cx, cy, R), 0, s * 0.045), rgba("000000", 0.35))
    c.draw(sh.blurred(max(1, s // 16), 2))
    c.fill(Offset(body, max(0.6, s / 40.0)), rim)
    c.fill(body, radial(cx - R * 0.3, cy - R * 0.35, R * 1.45,
                        [(0.0, hi), (0.22, light), (0.62, mid), (1.0, dark)]))
    # glow of light passing through the bead, lower right
    c.fill(Intersect(body, Circle(cx + R * 0.2, cy + R * 0.25, R * 0.72)),
           radial(cx + R * 0.2, cy + R * 0.35, R * 0.72,
                  [(0.0, light[:3] + (0.45,)), (1.0, light[:3] + (0.0,))]))
    # specular highlight
    c.fill(Ellipse(cx - R * 0.28, cy - R * 0.45, R * 0.42, R * 0.27),
           linear(0, cy - R * 0.72, 0, cy - R * 0.18,
                  [(0.0, rgba("ffffff", 0.95)), (1.0, rgba("ffffff", 0.15))]))
    return c


# --------------------------------------------------------------------------
# Brushed silver backdrop, seamless by wrapping every filter around the tile.


class XorShift:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def uniform(self):  # in [-1, 1)
        return self.next() / 2147483648.0 - 1.0


def wrap_blur(line, radius):
    n = len(line)
    acc = sum(line[i % n] for i in range(-radius, radius + 1))
    out = []
    k = 2 * radius + 1
    for i in range(n):
        out.append(acc / k)
        acc += line[(i + radius + 1) % n] - line[(i - radius) % n]
    return out


def normalise(values):
    m = sum(values) / len(values)
    sd = math.sqrt(sum((v - m) ** 2 for v in values) / len(values)) or 1.0
    return [(v - m) / sd for v in values]


def make_backdrop(w=256, h=256):
    rng = XorShift(0x5EED1234)
    streak = []
    for _ in range(h):
        row = [rng.uniform() for _ in range(w)]
        for _ in range(3):
            row = wrap_blur(row, 22)
        streak.append(row)
    flat = normalise([v for row in streak for v in row])
    streak = [flat[y * w:(y + 1) * w] for y in range(h)]
    # soften row-to-row jumps a little (vertical wrap blur of radius 1)
    soft = [[(streak[(y - 1) % h][x] + 2 * streak[y][x] + streak[(y + 1) % h][x]) / 4
             for x in range(w)] for y in range(h)]
    rows_level = [rng.uniform() for _ in range(h)]
    rows_level = normalise(wrap_blur(rows_level, 1))
    # broad, slow cloudiness along the rows
    broad = []
    for _ in range(h):
        broad.append(rng.uniform())
    for _ in range(3):
        broad = wrap_blur(broad, 24)
    broad = normalise(broad)
    pixels = []
    for y in range(h):
        row = []
        for x in range(w):
            v = (221.0 + 2.2 * soft[y][x] + 1.1 * rows_level[y] + 1.4 * broad[y]
                 + 0.6 * rng.uniform())
            row.append((to8(v - 3.0), to8(v - 1.0), to8(v + 2.0)))
        pixels.append(row)
    return pixels


# --------------------------------------------------------------------------
# File writers.


def ico_bytes(images):
    """ICO file with one 32-bit DIB entry (with AND mask) per image (RGBA rows)."""
    entries = []
    blobs = []
    offset = 6 + 16 * len(images)
    for rows in images:
        h, w = len(rows), len(rows[0])
        header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            line = bytearray(mask_stride)
            for x, p in enumerate(row):
                if p[3] == 0:
                    line[x >> 3] |= 0x80 >> (x & 7)
            mask += line
        blob = header + bytes(xor) + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", w & 255, h & 255, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def bmp_bytes(rows):
    """24-bit bottom-up BMP from RGB rows."""
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + bytes(data)


def lzw_encode(indices, min_size):
    """GIF-flavoured LZW: variable code width, clear code when the table fills."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    acc = nbits = 0

    def put(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 255)
            acc >>= 8
            nbits -= 8

    width = min_size + 1
    table = {}
    next_code = eoi + 1
    put(clear, width)
    if not indices:
        put(eoi, width)
    else:
        prefix = indices[0]
        for k in indices[1:]:
            key = (prefix, k)
            if key in table:
                prefix = table[key]
                continue
            put(prefix, width)
            if next_code < 4096:
                table[key] = next_code
                next_code += 1
                # the decoder adds its entry one code later, hence '>' not '>='
                if next_code > (1 << width) and width < 12:
                    width += 1
            else:
                put(clear, width)
                table = {}
                next_code = eoi + 1
                width = min_size + 1
            prefix = k
        put(prefix, width)
        put(eoi, width)
    if nbits:
        out.append(acc & 255)
    return bytes(out)


def lzw_decode(data, min_size, limit):
    """Decodes GIF LZW data; stops at the end code. Raises ValueError on bad codes."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    pos = acc = nbits = 0
    width = min_size + 1
    table = [(None, i) for i in range(clear)] + [None, None]
    prev = None
    out = []

    def expand(code):
        seq = []
        while code is not None:
            parent, k = table[code]
            seq.append(k)
            code = parent
        seq.reverse()
        return seq

    while True:
        while nbits < width:
            if pos >= len(data):
                raise ValueError("LZW data ends before the end code")
            acc |= data[pos] << nbits
            pos += 1
            nbits += 8
        code = acc & ((1 << width) - 1)
        acc >>= width
        nbits -= width
        if code == clear:
            table = table[:eoi + 1]
            width = min_size + 1
            prev = None
            continue
        if code == eoi:
            return out
        if prev is None:
            if code >= clear:
                raise ValueError("LZW code %d before any table entry" % code)
            seq = expand(code)
        elif code < len(table) and table[code] is not None:
            seq = expand(code)
            if len(table) < 4096:
                table.append((prev, seq[0]))
        elif code == len(table) and len(table) < 4096:
            first = expand(prev)[0]
            table.append((prev, first))
            seq = expand(code)
        else:
            raise ValueError("LZW code %d out of range" % code)
        out.extend(seq)
        if len(out) > limit:
            raise ValueError("LZW data decodes to more than %d pixels" % limit)
        prev = code
        if len(table) == (1 << width) and width < 12:
            width += 1


def median_cut(counts, n):
    """Reduces {colour: count} to at most n colours; returns {colour: palette index}."""
    boxes = [sorted(counts.items())]

    def spread(box):
        ranges = [max(c[0][i] for c in box) - min(c[0][i] for c in box) for i in range(3)]
        ch = max(range(3), key=lambda i: (ranges[i], -i))
        return ranges[ch], ch

    while len(boxes) < n:
        best = None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            rng, ch = spread(box)
            score = rng * sum(c[1] for c in box)
            if best is None or score > best[0]:
                best = (score, i, ch)
        if best is None:
            break
        _, i, ch = best
        box = sorted(boxes[i], key=lambda c: (c[0][ch], c[0]))
        total = sum(c[1] for c in box)
        run = 0
        cut = 1
        for j, c in enumerate(box[:-1]):
            run += c[1]
            cut = j + 1
            if run * 2 >= total:
                break
        boxes[i:i + 1] = [box[:cut], box[cut:]]
    palette, lookup = [], {}
    for box in boxes:
        total = sum(c[1] for c in box)
        avg = tuple(to8(sum(c[0][i] * c[1] for c in box) / total) for i in range(3))
        for col, _ in box:
            lookup[col] = len(palette)
        palette.append(avg)
    return palette, lookup


GIF_MATTE = (214, 217, 222)  # the toolbar's silver, behind anti-aliased edge pixels


def gif_bytes(rows):
    """GIF89a with one transparent colour; partly transparent pixels are matted."""
    h, w = len(rows), len(rows[0])
    flat = []
    for row in rows:
        for r, g, b, a in row:
            if a < 96:
                flat.append(None)
            else:
                t = a / 255.0
                flat.append(tuple(to8(c * t + m * (1 - t)) for c, m in zip((r, g, b), GIF_MATTE)))
    counts = {}
    for col in flat:
        if col is not None:
            counts[col] = counts.get(col, 0) + 1
    palette, lookup = median_cut(counts, 255)
    transparent = len(palette)
    palette.append(GIF_MATTE)
    bits = max(1, (len(palette) - 1).bit_length())
    palette += [(0, 0, 0)] * ((1 << bits) - len(palette))
    indices = [transparent if col is None else lookup[col] for col in flat]
    min_size = max(2, bits)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", w, h, 0x80 | 0x70 | (bits - 1), transparent, 0)
    for col in palette:
        out += bytes(col)
    out += bytes((0x21, 0xF9, 4, 0x01, 0, 0, transparent, 0))
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, w, h, 0)
    out.append(min_size)
    data = lzw_encode(indices, min_size)
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out += b"\x00\x3b"
    return bytes(out)


def png_bytes(rows):
    """8-bit RGBA PNG (previews and the icon theme)."""
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for p in row:
            raw += bytes(p)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# --------------------------------------------------------------------------
# The set of files.

TRANSPORT = ["PREV", "PLAY", "STOP", "PAUS", "PAU2", "NEXT", "OPEN", "CLOS"]
TRANSPORT_SIZES = [16, 24, 32]
BEAD_SIZES = [16, 24, 32]
CD_SIZES = [16, 24, 32, 48]
GIF_SIZE = (32, 28)
BACKDROP_SIZE = (256, 256)


def icon_images():
    """{file name: [(size, canvas), ...]} for every icon."""
    icons = {"Cd.ico": [(s, draw_cd_icon(s)) for s in CD_SIZES],
             "Greenb.ico": [(s, draw_bead("green", s)) for s in BEAD_SIZES],
             "Blueb.ico": [(s, draw_bead("blue", s)) for s in BEAD_SIZES]}
    for name in TRANSPORT:
        icons["QPX_%s.ICO" % name] = [(s, draw_transport(name, s)) for s in TRANSPORT_SIZES]
    return icons


def disc_picture():
    w, h = GIF_SIZE
    c = Canvas(w, h)
    draw_disc(c, w / 2.0, h / 2.0, h / 2.0 - 0.6)
    return c


def render_all():
    """{file name: bytes} plus the raster data the preview shows."""
    icons = icon_images()
    files = {}
    for name, images in icons.items():
        files[name] = ico_bytes([c.rgba8() for _, c in images])
    backdrop = make_backdrop(*BACKDROP_SIZE)
    files["Silvback.bmp"] = bmp_bytes(backdrop)
    disc = disc_picture().rgba8()
    files["cd.gif"] = gif_bytes(disc)
    return files, icons, backdrop


def default_out():
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "resources")


def write_files(out_dir, files):
    os.makedirs(out_dir, exist_ok=True)
    for name in sorted(files):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(files[name])
        print("wrote %-14s %6d bytes" % (name, len(files[name])))


# --------------------------------------------------------------------------
# Reading the files back.


class Bad(Exception):
    pass


def need(cond, msg):
    if not cond:
        raise Bad(msg)


def parse_ico(data):
    """Returns [(width, height, RGBA rows)] after checking every structural field."""
    need(len(data) >= 6, "shorter than the ICO header")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    need(reserved == 0 and kind == 1, "not an icon file (reserved %d, type %d)" % (reserved, kind))
    need(count > 0, "no images")
    need(len(data) >= 6 + 16 * count, "directory runs past the end")
    images, spans = [], []
    for i in range(count):
        w, h, colours, res, planes, bpp, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        need(colours == 0 and res == 0, "entry %d: colour count/reserved not zero" % i)
        need(planes == 1 and bpp == 32, "entry %d: planes %d, bit count %d" % (i, planes, bpp))
        need(off + size <= len(data), "entry %d: data runs past the end" % i)
        spans.append((off, off + size))
        blob = data[off:off + size]
        need(blob[:8] != b"\x89PNG\r\n\x1a\n", "entry %d: PNG entries are not expected" % i)
        need(len(blob) >= 40, "entry %d: no bitmap header" % i)
        hsize, bw, bh, bplanes, bbpp, comp = struct.unpack_from("<IiiHHI", blob, 0)
        need(hsize == 40, "entry %d: header size %d" % (i, hsize))
        need((bw, bh) == (w, 2 * h), "entry %d: bitmap %dx%d for a %dx%d entry" % (i, bw, bh, w, h))
        need(bplanes == 1 and bbpp == 32 and comp == 0, "entry %d: bitmap format" % i)
        mask_stride = ((w + 31) // 32) * 4
        need(size == 40 + w * h * 4 + mask_stride * h,
             "entry %d: %d bytes, expected %d" % (i, size, 40 + w * h * 4 + mask_stride * h))
        rows = []
        for y in range(h):
            base = 40 + (h - 1 - y) * w * 4
            mbase = 40 + w * h * 4 + (h - 1 - y) * mask_stride
            row = []
            for x in range(w):
                b, g, r, a = blob[base + 4 * x:base + 4 * x + 4]
                masked = bool(blob[mbase + (x >> 3)] & (0x80 >> (x & 7)))
                need(masked == (a == 0), "entry %d: AND mask disagrees with alpha at %d,%d" % (i, x, y))
                row.append((r, g, b, a))
            rows.append(row)
        opaque = sum(1 for row in rows for p in row if p[3] == 255)
        need(opaque >= w * h // 12, "entry %d: almost nothing drawn (%d opaque pixels)" % (i, opaque))
        images.append((w, h, rows))
    spans.sort()
    need(spans[0][0] == 6 + 16 * count, "image data does not follow the directory")
    for a, b in zip(spans, spans[1:]):
        need(a[1] <= b[0], "image data overlaps")
    need(spans[-1][1] == len(data), "trailing bytes after the last image")
    return images


def parse_bmp(data):
    """Returns RGB rows after checking the headers."""
    need(len(data) >= 54 and data[:2] == b"BM", "not a BMP file")
    fsize, _, _, off = struct.unpack_from("<IHHI", data, 2)
    need(fsize == len(data), "file size field %d, file has %d" % (fsize, len(data)))
    hsize, w, h, planes, bpp, comp, isize = struct.unpack_from("<IiiHHII", data, 14)
    need(hsize == 40 and off == 54, "header size %d, pixel offset %d" % (hsize, off))
    need(w > 0 and h > 0, "dimensions %dx%d" % (w, h))
    need(planes == 1 and bpp == 24 and comp == 0, "not an uncompressed 24-bit bitmap")
    stride = (w * 3 + 3) & ~3
    need(isize == stride * h and off + isize == len(data), "pixel data size %d" % isize)
    rows = []
    for y in range(h):
        base = off + (h - 1 - y) * stride
        rows.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x])
                     for x in range(w)])
    return rows


def parse_gif(data):
    """Returns (width, height, palette, transparent index, indices)."""
    need(data[:6] == b"GIF89a", "not a GIF89a file")
    w, h, packed, bg, _ = struct.unpack_from("<HHBBB", data, 6)
    need(packed & 0x80, "no global colour table")
    gct = 2 << (packed & 7)
    pos = 13
    palette = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(gct)]
    pos += 3 * gct
    transparent = None
    indices = None
    while True:
        need(pos < len(data), "file ends before the trailer")
        tag = data[pos]
        pos += 1
        if tag == 0x3B:
            need(pos == len(data), "bytes after the trailer")
            break
        if tag == 0x21:
            label = data[pos]
            pos += 1
            if label == 0xF9:
                need(data[pos] == 4, "graphic control block size %d" % data[pos])
                flags, _, transparent_index = struct.unpack_from("<BHB", data, pos + 1)
                if flags & 1:
                    transparent = transparent_index
            while True:  # skip the extension's sub-blocks
                n = data[pos]
                pos += 1 + n
                if n == 0:
                    break
            continue
        need(tag == 0x2C, "unknown block 0x%02x" % tag)
        need(indices is None, "more than one image")
        x, y, iw, ih, ipacked = struct.unpack_from("<HHHHB", data, pos)
        pos += 9
        need((x, y, iw, ih) == (0, 0, w, h), "image does not cover the screen")
        need(ipacked == 0, "local colour table or interlace not expected")
        min_size = data[pos]
        pos += 1
        need(2 <= min_size <= 8, "LZW minimum code size %d" % min_size)
        lzw = bytearray()
        while True:
            need(pos < len(data), "image data runs past the end")
            n = data[pos]
            pos += 1
            if n == 0:
                break
            lzw += data[pos:pos + n]
            pos += n
        try:
            indices = lzw_decode(bytes(lzw), min_size, w * h)
        except ValueError as e:
            raise Bad(str(e))
        need(len(indices) == w * h, "LZW gives %d pixels, expected %d" % (len(indices), w * h))
        need(max(indices) < gct, "pixel index beyond the colour table")
    need(indices is not None, "no image")
    need(transparent is not None and transparent < gct, "no transparent colour")
    need(bg == transparent, "background index is not the transparent colour")
    return w, h, palette, transparent, indices


def lzw_selftest():
    """Round trip through the table-full reset and every code width."""
    rng = XorShift(99)
    data = []
    for i in range(60000):
        data.append(rng.next() % 256 if (i // 700) % 2 == 0 else (i // 3) % 7)
    for min_size in (2, 8):
        mask = (1 << min_size) - 1
        sample = [v & mask for v in data]
        back = lzw_decode(lzw_encode(sample, min_size), min_size, len(sample))
        need(back == sample, "LZW round trip fails for code size %d" % min_size)
    need(lzw_decode(lzw_encode([], 8), 8, 0) == [], "LZW round trip fails for no pixels")
    need(lzw_decode(lzw_encode([5], 8), 8, 1) == [5], "LZW round trip fails for one pixel")


def check(out_dir):
    files, _, _ = render_all()
    problems = []

    def run(name, fn):
        try:
            fn()
        except Bad as e:
            problems.append("%s: %s" % (name, e))
        except (struct.error, IndexError) as e:  # a cut-off file fails inside a field read
            problems.append("%s: damaged or cut off (%s)" % (name, e))

    run("LZW", lzw_selftest)
    for name in sorted(files):
        path = os.path.join(out_dir, name)
        if not os.path.isfile(path):
            problems.append("%s: missing" % name)
            continue
        with open(path, "rb") as f:
            data = f.read()

        def one(name=name, data=data):
            if name.lower().endswith(".ico"):
                images = parse_ico(data)
                sizes = sorted((w, h) for w, h, _ in images)
                want = CD_SIZES if name == "Cd.ico" else (
                    BEAD_SIZES if name.endswith("b.ico") else TRANSPORT_SIZES)
                need(sizes == [(s, s) for s in want], "sizes %s, expected %s" % (sizes, want))
                for w, h, rows in images:
                    corner = [rows[0][0], rows[0][w - 1], rows[h - 1][0], rows[h - 1][w - 1]]
                    need(all(p[3] == 0 for p in corner), "%dx%d: corners not transparent" % (w, h))
            elif name.endswith(".bmp"):
                check_backdrop(parse_bmp(data))
            else:
                w, h, _, transparent, idx = parse_gif(data)
                need((w, h) == GIF_SIZE, "size %dx%d" % (w, h))
                need(idx[0] == transparent and idx[-1] == transparent, "corners not transparent")
                need(idx[(h // 2) * w + w // 4] != transparent, "disc body is transparent")
                opaque = sum(1 for i in idx if i != transparent)
                need(opaque > w * h // 2, "only %d opaque pixels" % opaque)
            need(data == files[name], "differs from what this script draws now")

        run(name, one)
    extra = sorted(set(os.listdir(out_dir)) - set(files)) if os.path.isdir(out_dir) else []
    for name in extra:
        problems.append("%s: not made by this script" % name)
    if problems:
        for p in problems:
            print("FAIL " + p, file=sys.stderr)
        raise SystemExit("%d problem(s) in %s" % (len(problems), out_dir))
    print("ok: %d files checked in %s" % (len(files), out_dir))


def check_backdrop(rows):
    h, w = len(rows), len(rows[0])
    need((w, h) == BACKDROP_SIZE, "size %dx%d" % (w, h))
    lum = [[0.299 * r + 0.587 * g + 0.114 * b for r, g, b in row] for row in rows]
    flat = [v for row in lum for v in row]
    mean = sum(flat) / len(flat)
    sd = math.sqrt(sum((v - mean) ** 2 for v in flat) / len(flat))
    need(200 <= mean <= 235, "mean brightness %.1f, want a light silver" % mean)
    need(sd <= 6.0, "contrast (std %.2f) too high for text on top" % sd)

    def step(pairs):
        return sum(abs(a - b) for a, b in pairs) / len(pairs)

    inner_x = step([(row[x], row[x + 1]) for row in lum for x in range(w - 1)])
    seam_x = step([(row[w - 1], row[0]) for row in lum])
    inner_y = step([(lum[y][x], lum[y + 1][x]) for y in range(h - 1) for x in range(w)])
    seam_y = step([(lum[h - 1][x], lum[0][x]) for x in range(w)])
    need(seam_x <= inner_x * 1.5 + 0.2, "visible seam at the left/right edge")
    need(seam_y <= inner_y * 1.5 + 0.2, "visible seam at the top/bottom edge")


# --------------------------------------------------------------------------
# Preview sheets.


def sheet(w, h, bg):
    return [[bg for _ in range(w)] for _ in range(h)]


def paste(dst, rows, x0, y0, scale=1):
    for y, row in enumerate(rows):
        for x, (r, g, b, a) in enumerate(row):
            if a == 0:
                continue
            t = a / 255.0
            for dy in range(scale):
                line = dst[y0 + y * scale + dy]
                for dx in range(scale):
                    br, bgc, bb, _ = line[x0 + x * scale + dx]
                    line[x0 + x * scale + dx] = (to8(r * t + br * (1 - t)),
                                                 to8(g * t + bgc * (1 - t)),
                                                 to8(b * t + bb * (1 - t)), 255)


def tile(dst, tile_rows):
    th, tw = len(tile_rows), len(tile_rows[0])
    for y, line in enumerate(dst):
        for x in range(len(line)):
            r, g, b = tile_rows[y % th][x % tw]
            line[x] = (r, g, b, 255)


def preview(out_dir):
    files, icons, backdrop = render_all()
    os.makedirs(out_dir, exist_ok=True)
    # icons read back from the files, so the sheet shows exactly what was written
    decoded = {name: parse_ico(files[name]) for name in icons}
    w_, h_, pal, tr, idx = parse_gif(files["cd.gif"])
    gif_rows = [[(0, 0, 0, 0) if idx[y * w_ + x] == tr else pal[idx[y * w_ + x]] + (255,)
                 for x in range(w_)] for y in range(h_)]
    order = ["QPX_%s.ICO" % n for n in TRANSPORT] + ["Cd.ico", "Blueb.ico", "Greenb.ico"]
    for size, scale in ((16, 8), (24, 5), (32, 4), (48, 3)):
        cell = size * scale + 16
        items = [(name, rows) for name in order for w, _, rows in decoded[name] if w == size]
        if size == 32:
            items.append(("cd.gif", gif_rows))
        cols = 6
        nrows = (len(items) + cols - 1) // cols
        img = sheet(cols * cell, 3 * nrows * cell, (0, 0, 0, 255))
        for band, bg in enumerate(((238, 238, 238, 255), (38, 42, 50, 255), None)):
            y0 = band * nrows * cell
            if bg is None:
                tile(img[y0:y0 + nrows * cell], backdrop)
            else:
                for line in img[y0:y0 + nrows * cell]:
                    line[:] = [bg] * len(line)
            for i, (name, rows) in enumerate(items):
                paste(img, rows, (i % cols) * cell + 8, y0 + (i // cols) * cell + 8, scale)
        path = os.path.join(out_dir, "icons_%d.png" % size)
        with open(path, "wb") as f:
            f.write(png_bytes(img))
        print("wrote " + path)
    # a toolbar at real size on a 2x2 tiling of the backdrop, then enlarged 3x
    bar = sheet(512, 512, (0, 0, 0, 255))
    tile(bar, backdrop)
    x = 8
    for name in ["PREV", "PLAY", "PAUS", "NEXT", "CLOS", "STOP", "PAU2", "OPEN"]:
        for w, _, rows in decoded["QPX_%s.ICO" % name]:
            if w == 16:
                paste(bar, rows, x, 8)
            if w == 24:
                paste(bar, rows, x, 30)
        x += 28
    paste(bar, gif_rows, x, 6)
    x = 8
    for name in ["Blueb.ico", "Greenb.ico", "Cd.ico"]:
        for w, _, rows in decoded[name]:
            paste(bar, rows, x, 60)
            x += w + 6
    big = [[bar[y // 3][x // 3] for x in range(3 * 256)] for y in range(3 * 100)]
    with open(os.path.join(out_dir, "toolbar_3x.png"), "wb") as f:
        f.write(png_bytes(big))
    with open(os.path.join(out_dir, "backdrop_2x2.png"), "wb") as f:
        f.write(png_bytes(bar))
    print("wrote toolbar_3x.png and backdrop_2x2.png in " + out_dir)


# Software centres want the program icon at these sizes too; drawn fresh, as Cd.ico stops at 48.
LARGE_CD_SIZES = [64, 128, 256]


def svg_colour(c):
    r, g, b, a = c
    return 'stop-color="#%02x%02x%02x" stop-opacity="%.3g"' % (to8(r), to8(g),
                                                                  to8(b), a)


def svg_fill(c):
    r, g, b, a = c
    return 'fill="#%02x%02x%02x" fill-opacity="%.3g"' % (to8(r), to8(g),
                                                         to8(b), a)


def svg_ring(cx, cy, r_out, r_in, attrs):
    return ('<circle cx="%.2f" cy="%.2f" r="%.3f" fill="none" stroke-width="%.3f" %s/>'
            % (cx, cy, (r_out + r_in) / 2.0, r_out - r_in, attrs.replace("fill", "stroke")))


def cd_svg(s=256, wedges=48):
    """The disc of draw_cd_icon as vector shapes with the same measures and colours. The lit
    face's sheen is sampled from disc_paint along each of a number of wedges."""
    cx = cy = s / 2.0
    R = s / 2.0 - s / 48.0
    rim = R * 0.085
    hole = R * 0.17
    hub = R * 0.40
    paint = disc_paint(cx, cy, R)
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
           % (s, s, s, s), "<defs>"]
    shapes = []
    face = R - rim
    for i in range(wedges):
        a0, a1 = 2 * math.pi * i / wedges, 2 * math.pi * (i + 1) / wedges
        am = (a0 + a1) / 2.0
        out.append('<radialGradient id="w%d" gradientUnits="userSpaceOnUse" cx="%.2f" cy="%.2f" '
                   'r="%.3f">' % (i, cx, cy, face))
        for k in range(0, 11):
            t = k / 10.0
            rr = hole + (face - hole) * t
            c = paint(cx + rr * math.cos(am), cy + rr * math.sin(am))
            out.append('<stop offset="%.3f" %s/>' % (rr / face, svg_colour(c)))
        out.append("</radialGradient>")
        # a hair wider than the wedge, so neighbours overlap instead of leaving a seam
        b0, b1 = a0 - 0.004, a1 + 0.004
        pts = [(face * math.cos(b0), face * math.sin(b0)), (face * math.cos(b1), face * math.sin(b1)),
               (hole * math.cos(b1), hole * math.sin(b1)), (hole * math.cos(b0), hole * math.sin(b0))]
        (x0, y0), (x1, y1), (x2, y2), (x3, y3) = [(cx + x, cy + y) for x, y in pts]
        shapes.append('<path d="M%.2f %.2fA%.3f %.3f 0 0 1 %.2f %.2fL%.2f %.2fA%.3f %.3f 0 0 0 %.2f '
                      '%.2fZ" fill="url(#w%d)"/>' % (x0, y0, face, face, x1, y1, x2, y2, hole,
                                                      hole, x3, y3, i))
    out.append('<radialGradient id="hub" gradientUnits="userSpaceOnUse" cx="%.2f" cy="%.2f" '
               'r="%.3f"><stop offset="0" %s/><stop offset="1" %s/></radialGradient>'
               % (cx, cy, hub, svg_colour(rgba("ffffff", 0.7)), svg_colour(rgba("e6eaf0", 0.85))))
    out.append('<clipPath id="face"><circle cx="%.2f" cy="%.2f" r="%.3f"/></clipPath>'
               % (cx, cy, face))
    out.append("</defs>")
    out.append(svg_ring(cx, cy, R, hole, svg_fill(rgba("6c7480"))))
    out += shapes
    for k in (0.55, 0.7, 0.85):
        out.append(svg_ring(cx, cy, R * k + 0.35, R * k - 0.35, svg_fill(rgba("5a6270", 0.10))))
    out.append(svg_ring(cx, cy, R - rim * 1.6, R - rim * 2.3, svg_fill(rgba("ffffff", 0.35))))
    out.append(svg_ring(cx, cy, hub, hole, 'fill="url(#hub)"'))
    out.append(svg_ring(cx, cy, hub + rim * 0.55, hub - rim * 0.05, svg_fill(rgba("8a929e", 0.85))))
    out.append(svg_ring(cx, cy, hole + rim * 0.9, hole, svg_fill(rgba("6c7480"))))
    out.append('<ellipse cx="%.2f" cy="%.2f" rx="%.3f" ry="%.3f" clip-path="url(#face)" %s/>'
               % (cx - R * 0.42, cy - R * 0.5, R * 0.42, R * 0.2, svg_fill(rgba("ffffff", 0.55))))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def write_hicolor(art_dir, out_dir):
    """The desktop's icon theme wants one PNG per size: the shipped Cd.ico's images, unchanged,
    then the same disc drawn at the larger sizes, and the scalable picture of it."""
    with open(os.path.join(art_dir, "Cd.ico"), "rb") as f:
        images = [(w, h, rows) for w, h, rows in parse_ico(f.read())]
    images += [(s, s, draw_cd_icon(s).rgba8()) for s in LARGE_CD_SIZES]
    for w, h, rows in images:
        folder = os.path.join(out_dir, "%dx%d" % (w, h), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "vantora.png"), "wb") as f:
            f.write(png_bytes(rows))
    folder = os.path.join(out_dir, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "vantora.svg"), "w", encoding="ascii") as f:
        f.write(cd_svg())


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=None, help="folder of the art (default: resources/)")
    ap.add_argument("--check", action="store_true", help="verify the files in the folder")
    ap.add_argument("--preview", metavar="DIR", help="write PNG contact sheets into DIR")
    ap.add_argument("--hicolor", metavar="DIR", help="write the program icon for the icon theme")
    args = ap.parse_args(argv)
    out_dir = os.path.normpath(args.out or default_out())
    if args.check:
        check(out_dir)
    elif args.preview:
        preview(args.preview)
    elif args.hicolor:
        write_hicolor(out_dir, args.hicolor)
    else:
        files, _, _ = render_all()
        write_files(out_dir, files)


if __name__ == "__main__":
    main(sys.argv[1:])
