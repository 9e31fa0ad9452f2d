#!/usr/bin/env python3
"""Measurements of the perfectly matched layer (--pml): the homogeneous example refined to
160 x 160 elements of 5 m against the exact solution after the first edge reflection, with
and without the layer.  Usage: tools/pml_check.py [BINARY] [WORKDIR] [--pml N]."""

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


if __name__ == "__main__":
    args = [a for a in sys.argv[1:]]
    layer = 20
    if "--pml" in args:
        k = args.index("--pml")
        layer = int(args[k + 1])
        del args[k:k + 2]
    binary = Path(args[0]) if args else ROOT / "build" / "stripwave"
    work = Path(args[1]) if len(args) > 1 else Path("/tmp/pml_check")
    work.mkdir(parents=True, exist_ok=True)
    homogeneous_160(binary.resolve(), work, layer)
