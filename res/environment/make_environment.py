#!/usr/bin/env python3
"""Draws the six faces of Quarnel's own environment cube map as PNG files.

Run from this folder: python3 make_environment.py [size]. Writes
uffizi_negx.png, _posx, _negy, _posy, _negz and _posz (256 x 256 by
default), the names under which the program looks for its environment.

The picture is computed per direction, so the faces meet without seams: a
sky that deepens from a pale horizon to the zenith, a sun with its glow, a
few soft clouds, a ring of distant hills, and below the horizon a tiled
ground plane that fades into haze. Face layout follows the cube-map rule:
row 0 of a face is its top, seen from the centre of the cube with the
world's y axis up. Standard library only; the output is deterministic.
"""

import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from png_file import png  # noqa: E402

SUPERSAMPLE = 2  # per axis, for smooth edges of the hills, sun and tiles

SKY_HORIZON = (205, 222, 238)
SKY_ZENITH = (52, 102, 178)
SUN_DIR = (0.45, 0.52, -0.72)
SUN_COLOUR = (255, 246, 214)
CLOUD_COLOUR = (246, 248, 252)
HILL_NEAR = (78, 118, 92)
HILL_FAR = (122, 150, 160)
GROUND_LIGHT = (150, 170, 112)
GROUND_DARK = (112, 136, 84)
GROUND_HAZE = (182, 196, 190)
HORIZON_LINE = (92, 110, 96)

# Clouds: (azimuth in degrees, elevation in degrees, width, height) of an
# ellipse on the sky, in degrees.
CLOUDS = [
    (20, 14, 16, 3.5), (32, 17, 10, 2.5), (140, 22, 20, 4.0), (155, 19, 12, 3.0),
    (230, 12, 18, 3.0), (300, 26, 22, 4.5), (318, 23, 12, 2.5), (95, 35, 14, 3.0),
]


def normalise(v):
    n = math.sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])
    return (v[0] / n, v[1] / n, v[2] / n)


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def hill_height(azimuth, phase, scale):
    """Elevation in degrees of a hill line at an azimuth in radians."""
    return scale * (1.0 + 0.55 * math.sin(3 * azimuth + phase)
                    + 0.30 * math.sin(7 * azimuth + 2 * phase)
                    + 0.15 * math.sin(13 * azimuth + 3 * phase))


def sky(d, azimuth, elevation):
    c = mix(SKY_HORIZON, SKY_ZENITH, math.pow(max(d[1], 0.0), 0.6))
    for az, el, w, h in CLOUDS:
        da = (math.degrees(azimuth) - az + 180) % 360 - 180
        de = math.degrees(elevation) - el
        r = (da / w) ** 2 + (de / h) ** 2
        if r < 1.0:
            c = mix(c, CLOUD_COLOUR, 0.85 * smoothstep(1.0, 0.4, r))
    s = normalise(SUN_DIR)
    cos_sun = d[0] * s[0] + d[1] * s[1] + d[2] * s[2]
    glow = math.pow(max(cos_sun, 0.0), 64)
    c = mix(c, SUN_COLOUR, 0.6 * glow)
    if cos_sun > math.cos(math.radians(3.2)):
        c = SUN_COLOUR
    return c


def ground(d):
    # The plane one unit below the eye, tiled in squares of half a unit.
    t = -2.0 / d[1]
    x, z = d[0] * t, d[2] * t
    tile = (math.floor(x) + math.floor(z)) % 2 == 0
    c = GROUND_LIGHT if tile else GROUND_DARK
    return mix(c, GROUND_HAZE, smoothstep(0.25, 0.0, -d[1]))


def colour(d):
    azimuth = math.atan2(d[0], -d[2]) % (2 * math.pi)
    elevation = math.asin(max(-1.0, min(1.0, d[1])))
    el = math.degrees(elevation)
    if el < -0.6:
        return ground(d)
    if el < 0.6:
        return HORIZON_LINE
    if el < hill_height(azimuth, 0.0, 3.5):
        return HILL_NEAR
    if el < hill_height(azimuth, 1.7, 6.0):
        return HILL_FAR
    return sky(d, azimuth, elevation)


# Direction through face coordinates sc, tc in [-1, 1] (t downwards), for
# each face in the order of the file suffixes.
FACES = [
    ('negx', lambda s, t: (-1.0, -t, s)),
    ('posx', lambda s, t: (1.0, -t, -s)),
    ('negy', lambda s, t: (s, -1.0, -t)),
    ('posy', lambda s, t: (s, 1.0, t)),
    ('negz', lambda s, t: (-s, -t, -1.0)),
    ('posz', lambda s, t: (s, -t, 1.0)),
]


def face_pixels(direction, size):
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = bytearray([0])  # filter type: none
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            for j in range(n):
                for i in range(n):
                    s = 2.0 * (x + (i + 0.5) / n) / size - 1.0
                    t = 2.0 * (y + (j + 0.5) / n) / size - 1.0
                    c = colour(normalise(direction(s, t)))
                    for k in range(3):
                        acc[k] += c[k]
            row += bytes(int(round(min(255.0, a / (n * n)))) for a in acc)
        rows.append(bytes(row))
    return b"".join(rows)


if __name__ == '__main__':
    size = int(sys.argv[1]) if len(sys.argv) > 1 else 256
    for name, direction in FACES:
        with open('uffizi_' + name + '.png', 'wb') as out:
            out.write(png(size, face_pixels(direction, size)))
