#!/usr/bin/env python3
"""Measurements of the perfectly matched layer (--pml), solved directly: the homogeneous
example refined to 160 x 160 elements of 5 m against the exact solution after the first edge
reflection, with and without the layer; and the amplitude the layer reflects, at normal
incidence and at 60 degrees, for P (explosion) and S (vertical force) waves, for a low and a
high dominant frequency of the wavelet, in the elastic rock and with Q = 20: the traces of a
grid against those of a grid extended 400 m beyond its left edge (both with the layer), their
difference before the reflection from the far edge can arrive, over the peak of the direct
arrival.  Usage: tools/pml_check.py [BINARY] [WORKDIR] [--pml N] [--skip-exact]."""

import json
import subprocess
import sys
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

from stripwave import read_run  # noqa: E402
from stripwave.exact import exact_traces, first_reflection_time  # noqa: E402
from stripwave.model import build_model  # noqa: E402


def run(binary, model, rundir, *options):
    build_model(model, rundir)
    (rundir / "model.json").write_text(json.dumps(model))
    done = subprocess.run([str(binary), "-q", *options], cwd=rundir, capture_output=True,
                          text=True)
    if done.returncode != 0:
        raise SystemExit(f"{rundir}: status {done.returncode}: {done.stderr}")
    return read_run(rundir)


def errors_after_reflection(r, rock):
    """Per component: the difference to the exact traces after the first edge reflection can
    arrive, and before it, over the norm of the whole exact traces (all receivers)."""
    ex = exact_traces(r, rock["vp"], rock["rho"])
    t = r.traces.t
    before = first_reflection_time(r, rock["vp"])
    out = {}
    for c, sim, ref in (("vx", r.traces.vx, ex[0]), ("vy", r.traces.vy, ex[1])):
        after2 = early2 = norm2 = 0.0
        for k in range(r.params.nrec):
            late = t >= before[k]
            d = sim[k] - ref[k]
            after2 += np.sum(d[late] ** 2)
            early2 += np.sum(d[~late] ** 2)
            norm2 += np.sum(ref[k] ** 2)
        out[c] = (np.sqrt(after2 / norm2), np.sqrt(early2 / norm2))
    return out


def homogeneous_160(binary, work, layer):
    model = json.loads((ROOT / "examples" / "homogeneous" / "model.json").read_text())
    model["deck"].update(nx=160, ny=160)
    rock = model["materials"][0]
    for name, opts in (("absorbing", []), ("pml", ["--pml", str(layer)])):
        r = run(binary, model, work / f"h160_{name}", "--solver", "direct", *opts)
        e = errors_after_reflection(r, rock)
        print(f"160 x 160 {name:9s}: after the first reflection vx {100 * e['vx'][0]:.2f} %, "
              f"vy {100 * e['vy'][0]:.2f} %; before it vx {100 * e['vx'][1]:.2f} %, "
              f"vy {100 * e['vy'][1]:.2f} % of the exact norm")


def reflection_case(binary, work, layer, kind, fdom, q, label):
    """The reflected amplitudes at the two receivers (normal incidence at the left edge, and
    about 60 degrees) over the direct arrival's peak, as (normal, oblique)."""
    h, extra = 5.0, 400.0
    base = json.loads((ROOT / "examples" / "homogeneous" / "model.json").read_text())
    rock = base["materials"][0]
    if q:
        rock["qp"] = rock["qs"] = q
    vp, vs = rock["vp"], rock["vs"]
    xs, ys = 102.5, 202.5
    recs = [(202.5, 202.5), (102.5, 547.5)]   # 0 and 59.3 degrees at the left edge
    runs = []
    for shift, name in ((0.0, "grid"), (extra, "wide")):
        model = json.loads(json.dumps(base))
        d = model["deck"]
        nx = int(round((800.0 + shift) / h))
        d.update(nx=nx, ny=160, xsize=800.0 + shift, ysize=800.0, npf=20, stime=780.0,
                 kdel=1 if kind == "P" else 4, freq=fdom, xsou=xs + shift, ysou=ys)
        d["receivers"] = {"nrec": 2, "xinic": recs[0][0] + shift, "yinic": recs[0][1],
                          "xfin": recs[1][0] + shift, "yfin": recs[1][1]}
        d["tsnap"] = [100.0]
        model["regions"][0].update(xf=800.0 + shift, yf=800.0)
        layered = ["--pml", str(layer)] if layer > 0 else []   # 0: the absorbing edges
        runs.append(run(binary, model, work / f"refl_{label}_{name}", "--solver", "direct",
                        *layered))
    a, b = runs
    t = a.traces.t
    v = vp if kind == "P" else vs
    out = []
    for k, (xr, yr) in enumerate(recs):
        direct = np.hypot(xr - xs, yr - ys)
        ref = np.hypot(a.traces.vx[k], a.traces.vy[k])
        wide = np.hypot(b.traces.vx[k], b.traces.vy[k])
        t0 = t[np.argmax(wide)] - direct / v     # the wavelet's delay to its peak
        # the far edge of the wide grid: its reflection (of the slowest wave) arrives after
        far = np.hypot(xr + extra + xs + extra, yr - ys) / vp + t0 - 1.0 / fdom
        w = t < far
        dv = np.hypot(a.traces.vx[k] - b.traces.vx[k], a.traces.vy[k] - b.traces.vy[k])
        out.append(dv[w].max() / wide.max())
    return out


def reflections(binary, work, layer):
    for q in (None, 20.0):
        for kind in ("P", "S"):
            for fdom in (0.004, 0.015):
                label = f"{kind}_{int(fdom * 1000)}hz" + (f"_q{int(q)}" if q else "")
                normal, oblique = reflection_case(binary, work, layer, kind, fdom, q, label)
                print(f"reflection {kind} {fdom * 1000:4.0f} Hz {'Q = 20' if q else 'elastic':8s}:"
                      f" normal {100 * normal:.3f} %, 59 degrees {100 * oblique:.3f} % of the direct"
                      f" peak", flush=True)


if __name__ == "__main__":
    args = [a for a in sys.argv[1:]]
    layer = 20
    if "--pml" in args:
        k = args.index("--pml")
        layer = int(args[k + 1])
        del args[k:k + 2]
    skip = "--skip-exact" in args
    args = [a for a in args if a != "--skip-exact"]
    binary = Path(args[0]) if args else ROOT / "build" / "stripwave"
    work = Path(args[1]) if len(args) > 1 else Path("/tmp/pml_check")
    work.mkdir(parents=True, exist_ok=True)
    if not skip:
        homogeneous_160(binary.resolve(), work, layer)
    reflections(binary.resolve(), work, layer)
