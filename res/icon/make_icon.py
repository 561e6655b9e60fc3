#!/usr/bin/env python3
"""Draws the program icon of Quarnel as PNG files.

Run from this folder: python3 make_icon.py. Writes quarnel_16.png,
quarnel_32.png, quarnel_48.png, quarnel_128.png and quarnel_256.png: a
flat-shaded twenty-sided mesh with light edges, girdled by a trackball ring, on
a rounded dark-blue tile. Every size is averaged down from one large master
picture, so the small ones stay smooth. Pixels outside the tile are
transparent. Standard library only; the output is deterministic.
"""

import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from png_file import png  # noqa: E402

MASTER = 768  # a multiple of every size below
SIZES = [16, 32, 48, 128, 256]

TILE_TOP = (52, 74, 116)
TILE_BOTTOM = (20, 28, 50)
RING = (128, 255, 128)
MESH = (240, 140, 40)
EDGE = (255, 240, 214)
LIGHT = (-0.45, 0.55, 0.70)


class Master:
    """Premultiplied RGBA floats, row 0 at the top."""

    def __init__(self, size):
        self.size = size
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def blend(self, x, y, colour, alpha):
        p = self.px[y * self.size + x]
        keep = 1.0 - alpha
        for k in range(3):
            p[k] = colour[k] * alpha + p[k] * keep
        p[3] = alpha + p[3] * keep

    def polygon(self, pts, colour, alpha=1.0):
        ys = [p[1] for p in pts]
        y0 = max(0, int(math.floor(min(ys))))
        y1 = min(self.size - 1, int(math.ceil(max(ys))))
        for y in range(y0, y1 + 1):
            yc = y + 0.5
            xs = []
            for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
                if (ay <= yc < by) or (by <= yc < ay):
                    xs.append(ax + (yc - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(max(0, int(math.ceil(a - 0.5))),
                               min(self.size - 1, int(math.floor(b - 0.5))) + 1):
                    self.blend(x, y, colour, alpha)

    def segment(self, a, b, width, colour):
        dx, dy = b[0] - a[0], b[1] - a[1]
        n = math.hypot(dx, dy)
        if n == 0:
            return
        ox, oy = -dy / n * width / 2, dx / n * width / 2
        ex, ey = dx / n * width / 2, dy / n * width / 2
        self.polygon([(a[0] + ox - ex, a[1] + oy - ey), (b[0] + ox + ex, b[1] + oy + ey),
                      (b[0] - ox + ex, b[1] - oy + ey), (a[0] - ox - ex, a[1] - oy - ey)], colour)


def tile(m):
    s = m.size
    r = 0.18 * s
    for y in range(s):
        t = y / (s - 1)
        c = tuple(TILE_TOP[k] + (TILE_BOTTOM[k] - TILE_TOP[k]) * t for k in range(3))
        for x in range(s):
            cx = min(max(x + 0.5, r), s - r)
            cy = min(max(y + 0.5, r), s - r)
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                m.blend(x, y, c, 1.0)


def ring(m, centre, radius, width, tilt, front):
    """Half of an ellipse (a circle seen at an angle) as short segments: the
    far half above the centre, or the near half below it."""
    n = 48
    start = 0.0 if front else math.pi
    pts = [(centre[0] + radius * math.cos(start + math.pi * i / n),
            centre[1] + radius * tilt * math.sin(start + math.pi * i / n)) for i in range(n + 1)]
    for a, b in zip(pts, pts[1:]):
        m.segment(a, b, width, RING)


def icosahedron():
    g = (1 + math.sqrt(5)) / 2
    v = [(-1, g, 0), (1, g, 0), (-1, -g, 0), (1, -g, 0), (0, -1, g), (0, 1, g),
         (0, -1, -g), (0, 1, -g), (g, 0, -1), (g, 0, 1), (-g, 0, -1), (-g, 0, 1)]
    f = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
         (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
         (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    n = math.sqrt(1 + g * g)
    return [(x / n, y / n, z / n) for x, y, z in v], f


def turn(p, ay, ax):
    x, y, z = p
    x, z = x * math.cos(ay) + z * math.sin(ay), -x * math.sin(ay) + z * math.cos(ay)
    y, z = y * math.cos(ax) - z * math.sin(ax), y * math.sin(ax) + z * math.cos(ax)
    return (x, y, z)


def mesh(m, centre, radius):
    verts, faces = icosahedron()
    verts = [turn(p, 0.35, 0.42) for p in verts]
    ln = math.sqrt(sum(c * c for c in LIGHT))
    light = [c / ln for c in LIGHT]

    def screen(p):
        return (centre[0] + radius * p[0], centre[1] - radius * p[1])

    front = []
    for f in faces:
        a, b, c = (verts[i] for i in f)
        u = [b[k] - a[k] for k in range(3)]
        w = [c[k] - a[k] for k in range(3)]
        n = (u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0])
        nl = math.sqrt(sum(k * k for k in n))
        n = [k / nl for k in n]
        if n[2] > 0:
            front.append((f, n))
    for f, n in front:
        lambert = max(0.0, sum(n[k] * light[k] for k in range(3)))
        shade = 0.35 + 0.65 * lambert
        colour = tuple(min(255.0, c * shade) for c in MESH)
        m.polygon([screen(verts[i]) for i in f], colour)
    width = m.size * 0.014
    for f, _ in front:
        for i, j in zip(f, f[1:] + f[:1]):
            m.segment(screen(verts[i]), screen(verts[j]), width, EDGE)


def scaled(m, size):
    step = m.size // size
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter type: none
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for j in range(step):
                base = (y * step + j) * m.size + x * step
                for i in range(step):
                    p = m.px[base + i]
                    for k in range(4):
                        acc[k] += p[k]
            a = acc[3] / (step * step)
            rgb = [acc[k] / acc[3] if acc[3] > 0 else 0.0 for k in range(3)]
            row += bytes(int(round(min(255.0, c))) for c in rgb)
            row.append(int(round(255 * min(1.0, a))))
        rows.append(bytes(row))
    return b"".join(rows)


if __name__ == '__main__':
    m = Master(MASTER)
    tile(m)
    c = (MASTER / 2, MASTER / 2)
    ring(m, c, 0.40 * MASTER, MASTER * 0.022, 0.32, False)
    mesh(m, c, 0.31 * MASTER)
    ring(m, c, 0.40 * MASTER, MASTER * 0.022, 0.32, True)
    for size in SIZES:
        with open('quarnel_%d.png' % size, 'wb') as out:
            out.write(png(size, scaled(m, size), alpha=True))
