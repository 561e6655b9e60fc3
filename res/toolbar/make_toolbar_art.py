#!/usr/bin/env python3
"""Draws the toolbar button images of Quarnel as XPM files.

Run from this folder: python3 make_toolbar_art.py. The main toolbar's
buttons are 32 x 32, the selection toolbar's 16 x 15. Pixels left
unpainted are transparent, so every button shows the toolbar's own face
colour behind its picture.
"""

import math

PALETTE = {
    '.': None,            # transparent
    'k': (32, 32, 32),    # outlines
    'w': (255, 255, 255),
    'l': (214, 214, 214),
    'g': (150, 150, 150),
    'd': (96, 96, 96),
    'y': (240, 200, 60),
    'Y': (200, 150, 30),
    'b': (50, 90, 200),
    'B': (20, 40, 120),
    'c': (110, 170, 240),
    'r': (210, 50, 50),
    'R': (140, 20, 20),
    'o': (240, 140, 40),
    'G': (60, 160, 70),
    'p': (150, 120, 230),
    's': (90, 200, 210),
}


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [['.'] * w for _ in range(h)]

    def dot(self, x, y, c):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c, width=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        r = (width - 1) / 2.0
        for i in range(n + 1):
            t = i / n
            x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
            if width <= 1:
                self.dot(x, y, c)
            else:
                self.disc(x, y, r, c)

    def polyline(self, pts, c, width=1, closed=False):
        seq = pts + [pts[0]] if closed else pts
        for a, b in zip(seq, seq[1:]):
            self.line(a[0], a[1], b[0], b[1], c, width)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(math.floor(min(ys))), int(math.ceil(max(ys))) + 1):
            yc = y + 0.5
            xs = []
            for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(math.ceil(a - 0.5)), int(math.floor(b - 0.5)) + 1):
                    self.dot(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        self.polyline([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], c, closed=True)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + 0.25:
                    self.dot(x, y, c)

    def circle(self, cx, cy, r, c, width=1, a0=0.0, a1=360.0):
        steps = int(r * 8) + 8
        pts = []
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            pts.append((cx + r * math.cos(a), cy - r * math.sin(a)))
        self.polyline(pts, c, width)

    def xpm(self, name):
        used = sorted({ch for row in self.px for ch in row})
        lines = ['/* XPM */', 'static const char* %s[] = {' % name,
                 '"%d %d %d 1",' % (self.w, self.h, len(used))]
        for ch in used:
            rgb = PALETTE[ch]
            colour = 'None' if rgb is None else '#%02X%02X%02X' % rgb
            lines.append('"%s c %s",' % (ch, colour))
        rows = ['"%s"' % ''.join(row) for row in self.px]
        lines.append(',\n'.join(rows))
        lines.append('};')
        return '\n'.join(lines) + '\n'


# A small mesh of triangles used by the render-mode buttons: a hexagon
# around a centre vertex.
HEX_C = (16, 16)
HEX = [(16 + 12 * math.cos(math.radians(90 + 60 * i)),
        16 - 12 * math.sin(math.radians(90 + 60 * i))) for i in range(6)]
SHADES = ['l', 'g', 'd', 'g', 'l', 'w']


def hex_faces(cv, shaded):
    for i in range(6):
        tri = [HEX_C, HEX[i], HEX[(i + 1) % 6]]
        cv.polygon(tri, SHADES[i] if shaded else 'l')


def hex_edges(cv, colour='k'):
    cv.polyline(HEX, colour, closed=True)
    for p in HEX:
        cv.line(HEX_C[0], HEX_C[1], p[0], p[1], colour)


def open_icon():
    cv = Canvas(32, 32)
    cv.polygon([(3, 8), (12, 8), (14, 11), (28, 11), (28, 26), (3, 26)], 'Y')
    cv.polygon([(6, 15), (30, 15), (27, 26), (3, 26)], 'y')
    cv.polyline([(3, 8), (12, 8), (14, 11), (28, 11), (28, 15)], 'k')
    cv.polyline([(3, 8), (3, 26), (27, 26), (30, 15), (6, 15), (3, 26)], 'k')
    return cv


def reload_icon():
    cv = Canvas(32, 32)
    cv.circle(16, 16, 10, 'b', width=3, a0=40, a1=330)
    cv.polygon([(20, 2), (28, 10), (18, 12)], 'b')
    return cv


def save_icon():
    cv = Canvas(32, 32)
    cv.rect(4, 4, 27, 27, 'B')
    cv.rect(8, 4, 23, 13, 'w')
    cv.rect(18, 6, 21, 11, 'g')
    cv.rect(8, 18, 23, 27, 'l')
    cv.frame(4, 4, 27, 27, 'k')
    return cv


def info_pane_icon():
    cv = Canvas(32, 32)
    cv.rect(5, 3, 26, 28, 'w')
    cv.frame(5, 3, 26, 28, 'k')
    for y in (8, 12, 16, 20, 24):
        cv.line(9, y, 15 + (y % 7), y, 'g')
    cv.disc(21, 8, 2, 'b')
    cv.rect(20, 12, 22, 24, 'b')
    return cv


def measure_icon():
    cv = Canvas(32, 32)
    cv.polygon([(3, 22), (22, 3), (29, 10), (10, 29)], 'y')
    cv.polyline([(3, 22), (22, 3), (29, 10), (10, 29)], 'k', closed=True)
    for i in range(1, 7):
        x, y = 3 + i * 19 / 7, 22 - i * 19 / 7
        length = 4 if i % 2 == 0 else 2
        cv.line(x, y, x + length * 0.7, y + length * 0.7, 'k')
    return cv


def zoom_icon():
    cv = Canvas(32, 32)
    cv.disc(13, 13, 9, 'c')
    cv.circle(13, 13, 9, 'k', width=2)
    cv.line(19.5, 19.5, 28, 28, 'd', width=4)
    cv.line(13, 9, 13, 17, 'r')
    cv.line(9, 13, 17, 13, 'r')
    return cv


def box_icon():
    cv = Canvas(32, 32)
    front = [(4, 11), (21, 11), (21, 28), (4, 28)]
    back = [(11, 4), (28, 4), (28, 21), (11, 21)]
    cv.polyline(back, 'g', closed=True)
    for a, b in zip(front, back):
        cv.line(a[0], a[1], b[0], b[1], 'k')
    cv.polyline(front, 'k', width=2, closed=True)
    return cv


def points_icon():
    cv = Canvas(32, 32)
    for p in HEX + [HEX_C]:
        cv.disc(p[0], p[1], 1.6, 'k')
    return cv


def wire_icon():
    cv = Canvas(32, 32)
    hex_edges(cv)
    return cv


def hidden_line_icon():
    cv = Canvas(32, 32)
    hex_faces(cv, False)
    hex_edges(cv, 'd')
    return cv


def flat_wire_icon():
    cv = Canvas(32, 32)
    hex_faces(cv, True)
    hex_edges(cv)
    return cv


def flat_icon():
    cv = Canvas(32, 32)
    hex_faces(cv, True)
    return cv


def smooth_icon():
    cv = Canvas(32, 32)
    for r, c in ((13, 'd'), (11, 'g'), (8, 'l'), (4, 'w')):
        cv.disc(16 - (13 - r) * 0.4, 16 - (13 - r) * 0.4, r, c)
    return cv


def texturing_icon():
    cv = Canvas(32, 32)
    for j in range(4):
        for i in range(4):
            c = 'o' if (i + j) % 2 == 0 else 'w'
            cv.rect(4 + i * 6, 4 + j * 6, 9 + i * 6, 9 + j * 6, c)
    cv.frame(4, 4, 27, 27, 'k')
    return cv


def normal_map_icon():
    cv = Canvas(32, 32)
    cv.rect(4, 4, 27, 27, 'p')
    for cx, cy in ((10, 10), (22, 10), (16, 21)):
        cv.disc(cx, cy, 4, 'c')
        cv.disc(cx - 1, cy - 1, 1.5, 'w')
    cv.frame(4, 4, 27, 27, 'k')
    return cv


def lighting_icon():
    cv = Canvas(32, 32)
    for i in range(8):
        a = math.radians(45 * i)
        cv.line(16 + 9 * math.cos(a), 16 + 9 * math.sin(a),
                16 + 14 * math.cos(a), 16 + 14 * math.sin(a), 'o', width=2)
    cv.disc(16, 16, 7, 'y')
    cv.circle(16, 16, 7, 'Y')
    return cv


def select_vertex_icon():
    cv = Canvas(16, 15)
    tri = [(2, 12), (13, 12), (8, 2)]
    cv.polyline(tri, 'g', closed=True)
    for p in tri:
        cv.disc(p[0], p[1], 1.5, 'r')
    return cv


def select_face_icon():
    cv = Canvas(16, 15)
    tri = [(2, 12), (13, 12), (8, 2)]
    cv.polygon(tri, 'r')
    cv.polyline(tri, 'R', closed=True)
    return cv


def tool_none_icon():
    cv = Canvas(16, 15)
    arrow = [(4, 1), (4, 12), (7, 9), (10, 14), (12, 13), (9, 8), (13, 8)]
    cv.polygon(arrow, 'w')
    cv.polyline(arrow, 'k', closed=True)
    return cv


def tool_region_icon():
    cv = Canvas(16, 15)
    for x in range(1, 15):
        if x % 3 != 0:
            cv.dot(x, 2, 'k')
            cv.dot(x, 12, 'k')
    for y in range(2, 13):
        if y % 3 != 0:
            cv.dot(1, y, 'k')
            cv.dot(14, y, 'k')
    cv.polygon([(4, 10), (11, 10), (8, 5)], 'r')
    return cv


def tool_component_icon():
    cv = Canvas(16, 15)
    cv.polygon([(1, 12), (7, 12), (4, 4)], 'r')
    cv.polygon([(7, 12), (4, 4), (10, 4)], 'r')
    cv.polygon([(7, 12), (10, 4), (14, 11)], 'r')
    cv.polyline([(1, 12), (7, 12), (4, 4), (10, 4), (14, 11), (7, 12)], 'R')
    cv.line(4, 4, 7, 12, 'R')
    cv.line(10, 4, 7, 12, 'R')
    return cv


def tool_picker_icon():
    cv = Canvas(16, 15)
    cv.polyline([(2, 13), (14, 13), (8, 3)], 'g', closed=True)
    cv.line(8, 5, 8, 14, 'k')
    cv.line(3, 9, 13, 9, 'k')
    cv.disc(8, 9, 1.2, 'r')
    return cv


def smooth_selected_icon():
    cv = Canvas(16, 15)
    pts = [(x, 7 - 4 * math.sin(x / 15 * 2 * math.pi)) for x in range(0, 16)]
    cv.polyline(pts, 'b', width=2)
    return cv


ICONS = {
    'open': open_icon, 'reload': reload_icon, 'save': save_icon,
    'info_pane': info_pane_icon, 'measure_distance': measure_icon,
    'zoom_on_point': zoom_icon, 'bounding_box': box_icon, 'points': points_icon,
    'wire': wire_icon, 'hidden_line': hidden_line_icon, 'flat_wire': flat_wire_icon,
    'flat_shaded': flat_icon, 'smooth': smooth_icon, 'texturing': texturing_icon,
    'normal_map': normal_map_icon, 'lighting': lighting_icon,
    'select_vertex': select_vertex_icon, 'select_face': select_face_icon,
    'tool_none': tool_none_icon, 'tool_region': tool_region_icon,
    'tool_component': tool_component_icon, 'tool_picker': tool_picker_icon,
    'smooth_selected': smooth_selected_icon,
}

if __name__ == '__main__':
    for name, draw in ICONS.items():
        with open(name + '.xpm', 'w') as out:
            out.write(draw().xpm(name))
