#!/usr/bin/env python3
"""Process start to the first frame that shows the mesh, as a user waits for it.

Usage (an X display is needed; scripts/with-display gives one):
  scripts/with-display bench/first_frame.py [--build build] [--runs 7]
      [--files DIR] [--only NAME] [--no-peer] [--before OTHER_QUARNEL]

Each program is started on each file with bench/first_frame_probe.c
preloaded. The probe reads every frame before its buffer swap and compares it
with the program's empty view, which is recorded first by opening a file that
has vertices but no faces; at the first frame that differs from it in more
than half a percent of the pixels it waits for the X server to take the frame,
writes the wall-clock time and ends the process. The time counts from just
before the process is started.

Files, generated into --files (default /tmp/quarnel-first-frame) when missing:
  tetra.ply          4 faces, ASCII
  torus_199k.ply     99,600 vertices, 199,200 faces, binary little-endian
  torus_2m.ply       1,000,000 vertices, 2,000,000 faces, binary little-endian
  torus_2m_ascii.ply the same torus in ASCII
Vertices are float x y z, faces `list uchar int vertex_indices`. The real
models of /work/shared/corpus/ (horse, bunny) are measured too when present.

The peer (f3d, when installed) runs in the same window size, interleaved with
Quarnel run by run; medians are printed with the ratio Quarnel / peer. With
--before, another build of Quarnel is measured in the same runs.
"""

import argparse
import math
import os
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 1024, 768
CORPUS = "/work/shared/corpus"
CORPUS_MODELS = ["vtkdata__horse.ply", "tinyply__bunny.ply"]


# --- generated files --------------------------------------------------------

def header(fmt, n_vertices, n_faces):
    return (f"ply\nformat {fmt} 1.0\nelement vertex {n_vertices}\n"
            "property float x\nproperty float y\nproperty float z\n"
            f"element face {n_faces}\nproperty list uchar int vertex_indices\n"
            "end_header\n").encode("ascii")


def torus(rings, sides):
    """Vertices and triangles of a torus, rings x sides quads, two faces each."""
    vertices = []
    for i in range(rings):
        u = 2.0 * math.pi * i / rings
        cu, su = math.cos(u), math.sin(u)
        for j in range(sides):
            v = 2.0 * math.pi * j / sides
            w = 1.0 + 0.4 * math.cos(v)
            vertices.append((w * cu, w * su, 0.4 * math.sin(v)))
    faces = []
    for i in range(rings):
        i1 = (i + 1) % rings
        for j in range(sides):
            j1 = (j + 1) % sides
            a, b, c, d = i * sides + j, i1 * sides + j, i1 * sides + j1, i * sides + j1
            faces.append((a, b, c))
            faces.append((a, c, d))
    return vertices, faces


def write_binary(path, vertices, faces):
    with open(path + ".part", "wb") as out:
        out.write(header("binary_little_endian", len(vertices), len(faces)))
        out.write(b"".join(struct.pack("<3f", *p) for p in vertices))
        out.write(b"".join(struct.pack("<B3i", 3, *f) for f in faces))
    os.replace(path + ".part", path)


def write_ascii(path, vertices, faces):
    with open(path + ".part", "wb") as out:
        out.write(header("ascii", len(vertices), len(faces)))
        out.write("".join("%.6g %.6g %.6g\n" % p for p in vertices).encode("ascii"))
        out.write("".join("3 %d %d %d\n" % f for f in faces).encode("ascii"))
    os.replace(path + ".part", path)


def generated_files(folder):
    os.makedirs(folder, exist_ok=True)
    files = {}

    def make(name, writer):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            print(f"writing {path}", file=sys.stderr)
            writer(path)
        files[name] = path

    tetra_v = [(1, 1, 1), (1, -1, -1), (-1, 1, -1), (-1, -1, 1)]
    tetra_f = [(0, 1, 2), (0, 3, 1), (0, 2, 3), (1, 3, 2)]
    make("empty.ply", lambda p: write_ascii(p, tetra_v, []))
    make("tetra.ply", lambda p: write_ascii(p, tetra_v, tetra_f))
    make("torus_199k.ply", lambda p: write_binary(p, *torus(400, 249)))
    big = None

    def big_torus():
        nonlocal big
        if big is None:
            big = torus(1000, 1000)
        return big

    make("torus_2m.ply", lambda p: write_binary(p, *big_torus()))
    make("torus_2m_ascii.ply", lambda p: write_ascii(p, *big_torus()))
    return files


# --- runs -------------------------------------------------------------------

def program_commands(build, before):
    commands = {"quarnel": lambda f: [os.path.join(build, "app", "quarnel"), f]}
    if before:
        commands["before"] = lambda f: [before, f]
    peer = shutil.which("f3d")
    if peer:
        commands["f3d"] = lambda f: [peer, f"--resolution={WIDTH},{HEIGHT}", f]
    return commands


def environment(probe, config, extra):
    env = dict(os.environ)
    env["LD_PRELOAD"] = probe
    env["XDG_CONFIG_HOME"] = config
    env.setdefault("LIBGL_ALWAYS_SOFTWARE", "1")
    env.update(extra)
    return env


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def record_empty_view(command, probe, config, reference):
    """Runs the program on a file without faces until its frames settle."""
    if os.path.exists(reference):
        os.remove(reference)
    env = environment(probe, config, {"FIRST_FRAME_RECORD": reference})
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    last, settled = None, time.monotonic()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.1)
        stamp = os.stat(reference).st_mtime_ns if os.path.exists(reference) else None
        if stamp != last:
            last, settled = stamp, time.monotonic()
        elif stamp is not None and time.monotonic() - settled > 2.0:
            break
    stop(process)
    if not os.path.exists(reference):
        raise SystemExit(f"no frame recorded for the empty view of {command[0]}")


def timed_run(command, probe, config, reference, out):
    if os.path.exists(out):
        os.remove(out)
    env = environment(probe, config, {"FIRST_FRAME_REFERENCE": reference,
                                      "FIRST_FRAME_OUT": out})
    start = time.time() * 1e3
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        process.wait(timeout=120)
    except subprocess.TimeoutExpired:
        stop(process)
    try:
        with open(out) as f:
            return float(f.read()) - start
    except (OSError, ValueError):
        return None


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "build"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--files", default=os.path.join(tempfile.gettempdir(),
                                                        "quarnel-first-frame"))
    parser.add_argument("--only", action="append", help="file name to measure (repeatable)")
    parser.add_argument("--no-peer", action="store_true")
    parser.add_argument("--before", help="another quarnel executable to measure alongside")
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        raise SystemExit("no X display: run under scripts/with-display")

    build = os.path.abspath(args.build)
    probe = os.path.join(build, "bench", "libfirst_frame_probe.so")
    if not os.path.exists(probe):
        raise SystemExit(f"{probe} is missing: build the project first (make build)")
    files = generated_files(args.files)
    measured = [n for n in ["tetra.ply", "torus_199k.ply", "torus_2m.ply", "torus_2m_ascii.ply"]]
    for name in CORPUS_MODELS:
        if os.path.exists(os.path.join(CORPUS, name)):
            files[name] = os.path.join(CORPUS, name)
            measured.append(name)
    if args.only:
        measured = [n for n in measured if n in args.only]
    commands = program_commands(build, args.before and os.path.abspath(args.before))
    if args.no_peer:
        commands.pop("f3d", None)

    work = tempfile.mkdtemp(prefix="first-frame-")
    try:
        config = os.path.join(work, "config")
        os.makedirs(config)
        references = {}
        for program, command in commands.items():
            references[program] = os.path.join(work, program + ".empty")
            record_empty_view(command(files["empty.ply"]), probe, config, references[program])
        times = {(p, n): [] for p in commands for n in measured}
        out = os.path.join(work, "first-frame.txt")
        for run in range(args.runs):
            for name in measured:
                for program, command in commands.items():
                    ms = timed_run(command(files[name]), probe, config, references[program], out)
                    if ms is not None:
                        times[(program, name)].append(ms)
            print(f"run {run + 1} of {args.runs} done", file=sys.stderr)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    def median(values):
        return statistics.median(values) if values else float("nan")

    has_peer = "f3d" in commands
    quarnels = [p for p in ("before", "quarnel") if p in commands]
    print(f"start to first frame with the mesh, ms, median of {args.runs} interleaved runs, "
          f"window {WIDTH}x{HEIGHT}")
    titles = {"before": "before", "quarnel": "Quarnel"}
    print(f"{'file':<22}" + "".join(f"{titles[p]:>10}" for p in quarnels) +
          (f"{'f3d':>10}" + "".join(f"{titles[p] + '/f3d':>13}" for p in quarnels)
           if has_peer else ""))
    for name in measured:
        medians = [median(times[(p, name)]) for p in quarnels]
        line = f"{name:<22}" + "".join(f"{q:>10.0f}" for q in medians)
        if has_peer:
            f = median(times[("f3d", name)])
            line += f"{f:>10.0f}" + "".join(f"{q / f:>13.2f}" for q in medians)
        missing = [p for p in commands if len(times[(p, name)]) < args.runs]
        if missing:
            line += "  (runs without a mesh frame: " + ", ".join(missing) + ")"
        print(line)


if __name__ == "__main__":
    main()
