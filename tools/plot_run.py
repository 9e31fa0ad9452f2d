#!/usr/bin/env python3
"""Render the snapshots and traces of a finished stripwave run as PNG images.

Reads the run log `output` (grid size, time step, receivers) and the files fort.5xx,
fort.6xx (snapshots; fort.5xxx, fort.6xxx in runs of more than 99) and fort.60, fort.70
(traces) from a run directory, and writes next to them:

  snapshot_5xx.png, snapshot_6xx.png   one image per snapshot, top of the model up
  traces_60.png, traces_70.png         receiver gathers, time downwards, one column
                                       band per receiver

Colours: blue negative, white zero, red positive, each image scaled to its own
largest magnitude (clipped at `--clip` times it).  No third-party packages needed.

usage: plot_run.py RUNDIR [--clip 0.5] [--scale 4]
"""

import argparse
import os
import re
import struct
import sys
import zlib


def read_values(path):
    values = []
    with open(path) as f:
        for line in f:
            text = line.strip()
            if not text:
                continue
            if re.fullmatch(r"-?[0-9.]+[+-][0-9]+", text):  # 3-digit exponent without E
                mant, exp = re.match(r"(-?[0-9.]+)([+-][0-9]+)", text).groups()
                values.append(float(mant) * 10.0 ** int(exp))
            else:
                values.append(float(text.replace("D", "E")))
    return values


def log_value(log, pattern, cast=int):
    m = re.search(pattern, log)
    return cast(m.group(1)) if m else None


def colour(v, vmax, clip):
    if vmax <= 0:
        return (255, 255, 255)
    x = max(-1.0, min(1.0, v / (vmax * clip)))
    if x >= 0:
        return (255, int(255 * (1 - x)), int(255 * (1 - x)))
    return (int(255 * (1 + x)), int(255 * (1 + x)), 255)


def write_png(path, width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("rundir")
    ap.add_argument("--clip", type=float, default=0.5, help="saturate at this fraction of the peak")
    ap.add_argument("--scale", type=int, default=4, help="pixels per element (snapshots)")
    args = ap.parse_args()

    log = open(os.path.join(args.rundir, "output")).read()
    nx = log_value(log, r"nx =\s*(\d+)")
    ny = log_value(log, r"ny =\s*(\d+)")
    if nx is None or ny is None:
        sys.exit("cannot find nx, ny in the log")

    made = []
    for name in sorted(os.listdir(args.rundir)):
        if not re.fullmatch(r"fort\.[56]\d{2,}", name):
            continue
        v = read_values(os.path.join(args.rundir, name))
        if len(v) != nx * ny:
            continue
        vmax = max(abs(x) for x in v)
        s = args.scale
        out = os.path.join(args.rundir, f"snapshot_{name[5:]}.png")
        # Row j = 1 is the bottom of the model: draw it last.
        write_png(out, nx * s, ny * s,
                  lambda x, y: colour(v[(x // s) + nx * (ny - 1 - y // s)], vmax, args.clip))
        made.append(out)

    nrec = log_value(log, r"number of receivers, nrec =\s*(\d+)")
    for name in ("fort.60", "fort.70"):
        path = os.path.join(args.rundir, name)
        if not nrec or not os.path.exists(path):
            continue
        v = read_values(path)
        nt = len(v) // nrec
        if nt == 0:
            continue
        vmax = max(abs(x) for x in v)
        w = max(1, 600 // nrec)
        out = os.path.join(args.rundir, f"traces_{name[5:]}.png")
        write_png(out, nrec * w, nt, lambda x, y: colour(v[(x // w) * nt + y], vmax, args.clip))
        made.append(out)

    for m in made:
        print(m)


if __name__ == "__main__":
    main()
