#!/usr/bin/env python3
"""Writes the sample meshes in samples/ (or in the folder given as argument).

Files written:
  torus_colour.ply     coloured torus, ASCII: 1000 vertices with a colour each
                       (hue around the ring, shade around the tube), 2000 faces.
                       Vertex: float x,y,z; uchar red,green,blue.
  icosphere.ply        plain closed mesh, binary_little_endian: a unit icosphere
                       subdivided three times, 642 vertices, 1280 faces.
                       Vertex: float x,y,z.
  terrain.ply          open height field, binary_little_endian: a 33 x 33 grid,
                       1089 vertices, 2048 faces, coloured by height, with the
                       height also stored as the vertex quality.
                       Vertex: float x,y,z; uchar red,green,blue; float quality.
  globe_textured.ply   textured sphere, ASCII: 482 vertices, 960 faces with
                       per-corner texture coordinates into checker.png.
                       Header comment "TextureFile checker.png".
                       Face: list uchar float texcoord (u0 v0 u1 v1 u2 v2);
                       int texnumber (always 0).
  checker.png          256 x 256 RGB checkerboard, 8 x 8 squares, tinted
                       along u and v so that orientation shows on the model.

Every face is list uchar int vertex_indices, wound counter-clockwise seen from
outside. The output is deterministic: running the script again rewrites the
same bytes. Standard library only.
"""

import colorsys
import math
import os
import struct
import sys
import zlib


# --- PLY writing ------------------------------------------------------------

def fmt(x):
    """Shortest stable text for a coordinate; never '-0'."""
    s = f"{x:.6g}"
    return "0" if s in ("-0", "0") else s


def ply_header(fmt_name, comments, vertex_props, n_vertices, face_props, n_faces):
    lines = ["ply", f"format {fmt_name} 1.0"]
    lines += [f"comment {c}" for c in comments]
    lines.append(f"element vertex {n_vertices}")
    lines += [f"property {p}" for p in vertex_props]
    lines.append(f"element face {n_faces}")
    lines += [f"property {p}" for p in face_props]
    lines.append("end_header")
    return ("\n".join(lines) + "\n").encode("ascii")


VERTEX_XYZ = ["float x", "float y", "float z"]
VERTEX_RGB = ["uchar red", "uchar green", "uchar blue"]
FACE_INDICES = ["list uchar int vertex_indices"]


def write_atomic(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


# --- mesh checks --------------------------------------------------------------

def signed_volume(positions, faces):
    vol = 0.0
    for a, b, c in faces:
        (ax, ay, az), (bx, by, bz), (cx, cy, cz) = positions[a], positions[b], positions[c]
        vol += ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)
    return vol / 6.0


def check_closed_manifold(faces):
    """Each directed edge once and its reverse once: closed, consistently wound."""
    edges = {}
    for f in faces:
        for i in range(3):
            e = (f[i], f[(i + 1) % 3])
            assert e not in edges, f"edge {e} used twice in the same direction"
            edges[e] = True
    for a, b in edges:
        assert (b, a) in edges, f"edge {(a, b)} has no opposite"


def check_indices(n_vertices, faces):
    for f in faces:
        assert len(set(f)) == 3 and all(0 <= i < n_vertices for i in f), f


# --- meshes -------------------------------------------------------------------

def torus(n_ring=40, n_tube=25, big_r=1.0, small_r=0.35):
    positions, colours, faces = [], [], []
    for i in range(n_ring):
        u = 2.0 * math.pi * i / n_ring
        for j in range(n_tube):
            v = 2.0 * math.pi * j / n_tube
            d = big_r + small_r * math.cos(v)
            positions.append((d * math.cos(u), d * math.sin(u), small_r * math.sin(v)))
            shade = 0.55 + 0.45 * (0.5 + 0.5 * math.cos(v))
            r, g, b = colorsys.hsv_to_rgb(i / n_ring, 0.85, shade)
            colours.append(tuple(int(round(255 * c)) for c in (r, g, b)))
    for i in range(n_ring):
        for j in range(n_tube):
            a = i * n_tube + j
            b = ((i + 1) % n_ring) * n_tube + j
            c = ((i + 1) % n_ring) * n_tube + (j + 1) % n_tube
            d = i * n_tube + (j + 1) % n_tube
            faces += [(a, b, c), (a, c, d)]
    return positions, colours, faces


def icosphere(subdivisions=3):
    t = (1.0 + math.sqrt(5.0)) / 2.0
    raw = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0),
           (0, -1, t), (0, 1, t), (0, -1, -t), (0, 1, -t),
           (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    positions = [normalise(p) for p in raw]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11),
             (1, 5, 9), (5, 11, 4), (11, 10, 2), (10, 7, 6), (7, 1, 8),
             (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8), (3, 8, 9),
             (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    for _ in range(subdivisions):
        midpoint = {}

        def mid(a, b):
            key = (min(a, b), max(a, b))
            if key not in midpoint:
                pa, pb = positions[a], positions[b]
                positions.append(normalise(tuple((x + y) / 2.0 for x, y in zip(pa, pb))))
                midpoint[key] = len(positions) - 1
            return midpoint[key]

        refined = []
        for a, b, c in faces:
            ab, bc, ca = mid(a, b), mid(b, c), mid(c, a)
            refined += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
        faces = refined
    return positions, faces


def normalise(p):
    n = math.sqrt(sum(x * x for x in p))
    return tuple(x / n for x in p)


def terrain(n=33, size=2.0):
    positions, colours, heights, faces = [], [], [], []
    for j in range(n):
        for i in range(n):
            x = size * (i / (n - 1) - 0.5)
            y = size * (j / (n - 1) - 0.5)
            h = (0.25 * math.exp(-((x - 0.3) ** 2 + (y - 0.2) ** 2) * 4.0)
                 + 0.15 * math.exp(-((x + 0.45) ** 2 + (y + 0.35) ** 2) * 9.0)
                 + 0.03 * math.sin(3.0 * x) * math.cos(4.0 * y))
            positions.append((x, y, h))
            heights.append(h)
    lo, hi = min(heights), max(heights)
    for h in heights:
        s = (h - lo) / (hi - lo)
        if s < 0.5:
            k = s / 0.5
            rgb = (40 + 80 * k, 120 + 40 * k, 40)
        else:
            k = (s - 0.5) / 0.5
            rgb = (120 + 135 * k, 160 + 95 * k, 40 + 215 * k)
        colours.append(tuple(int(round(c)) for c in rgb))
    for j in range(n - 1):
        for i in range(n - 1):
            a = j * n + i
            faces += [(a, a + 1, a + n + 1), (a, a + n + 1, a + n)]
    return positions, colours, heights, faces


def globe(n_lon=32, n_lat=16):
    """UV sphere; poles are single vertices, so the seam lives in the wedges only."""
    positions = [(0.0, 0.0, 1.0)]
    for k in range(1, n_lat):
        theta = math.pi * k / n_lat
        for j in range(n_lon):
            phi = 2.0 * math.pi * j / n_lon
            positions.append((math.sin(theta) * math.cos(phi),
                              math.sin(theta) * math.sin(phi), math.cos(theta)))
    positions.append((0.0, 0.0, -1.0))
    south = len(positions) - 1

    def ring(k, j):
        if k == 0:
            return 0
        if k == n_lat:
            return south
        return 1 + (k - 1) * n_lon + j % n_lon

    faces, wedges = [], []
    for k in range(n_lat):
        for j in range(n_lon):
            # Corners (k, j) .. (k + 1, j + 1): texture u runs with longitude,
            # v from 1 at the north pole to 0 at the south pole.
            def uv(kk, jj):
                return (jj / n_lon, 1.0 - kk / n_lat)
            a, b, c, d = (k, j), (k + 1, j), (k + 1, j + 1), (k, j + 1)
            if k == 0:
                tris = [(a, b, c)]  # a and d are both the north pole
            elif k == n_lat - 1:
                tris = [(a, b, d)]  # b and c are both the south pole
            else:
                tris = [(a, b, d), (b, c, d)]
            for tri in tris:
                faces.append(tuple(ring(*p) for p in tri))
                wedges.append(tuple(x for p in tri for x in uv(*p)))
    return positions, faces, wedges


# --- PNG ----------------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def checker_png(size=256, squares=8):
    cell = size // squares
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter type: none
        for x in range(size):
            dark = ((x // cell) + (y // cell)) % 2 == 1
            u, v = x / (size - 1), 1.0 - y / (size - 1)
            if dark:
                rgb = (40 + 60 * u, 40, 60 + 80 * v)
            else:
                rgb = (235, 215 + 40 * u * (1 - v), 170 + 60 * v)
            row += bytes(int(round(min(255, c))) for c in rgb)
        rows.append(bytes(row))
    raw = b"".join(rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


# --- files --------------------------------------------------------------------

def write_torus(folder):
    positions, colours, faces = torus()
    check_indices(len(positions), faces)
    check_closed_manifold(faces)
    assert signed_volume(positions, faces) > 0
    out = [ply_header("ascii", ["Quarnel sample: coloured torus"], VERTEX_XYZ + VERTEX_RGB,
                      len(positions), FACE_INDICES, len(faces))]
    body = []
    for p, c in zip(positions, colours):
        body.append(" ".join(fmt(x) for x in p) + " " + " ".join(str(x) for x in c))
    for f in faces:
        body.append("3 " + " ".join(str(i) for i in f))
    out.append(("\n".join(body) + "\n").encode("ascii"))
    write_atomic(os.path.join(folder, "torus_colour.ply"), b"".join(out))


def write_icosphere(folder):
    positions, faces = icosphere()
    check_indices(len(positions), faces)
    check_closed_manifold(faces)
    assert signed_volume(positions, faces) > 0
    out = [ply_header("binary_little_endian", ["Quarnel sample: icosphere"], VERTEX_XYZ,
                      len(positions), FACE_INDICES, len(faces))]
    out += [struct.pack("<3f", *p) for p in positions]
    out += [struct.pack("<B3i", 3, *f) for f in faces]
    write_atomic(os.path.join(folder, "icosphere.ply"), b"".join(out))


def write_terrain(folder):
    positions, colours, heights, faces = terrain()
    check_indices(len(positions), faces)
    out = [ply_header("binary_little_endian", ["Quarnel sample: height field, quality = height"],
                      VERTEX_XYZ + VERTEX_RGB + ["float quality"], len(positions),
                      FACE_INDICES, len(faces))]
    out += [struct.pack("<3f3Bf", *p, *c, h) for p, c, h in zip(positions, colours, heights)]
    out += [struct.pack("<B3i", 3, *f) for f in faces]
    write_atomic(os.path.join(folder, "terrain.ply"), b"".join(out))


def write_globe(folder):
    positions, faces, wedges = globe()
    check_indices(len(positions), faces)
    check_closed_manifold(faces)
    assert signed_volume(positions, faces) > 0
    out = [ply_header("ascii", ["Quarnel sample: textured sphere", "TextureFile checker.png"],
                      VERTEX_XYZ, len(positions),
                      FACE_INDICES + ["list uchar float texcoord", "int texnumber"], len(faces))]
    body = [" ".join(fmt(x) for x in p) for p in positions]
    for f, w in zip(faces, wedges):
        body.append("3 " + " ".join(str(i) for i in f) + " 6 "
                    + " ".join(fmt(x) for x in w) + " 0")
    out.append(("\n".join(body) + "\n").encode("ascii"))
    write_atomic(os.path.join(folder, "globe_textured.ply"), b"".join(out))
    write_atomic(os.path.join(folder, "checker.png"), checker_png())


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    folder = argv[1] if len(argv) > 1 else os.path.normpath(os.path.join(here, "..", "samples"))
    os.makedirs(folder, exist_ok=True)
    write_torus(folder)
    write_icosphere(folder)
    write_terrain(folder)
    write_globe(folder)
    for name in sorted(os.listdir(folder)):
        print(f"{os.path.join(folder, name)}: {os.path.getsize(os.path.join(folder, name))} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
