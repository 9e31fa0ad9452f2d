#!/usr/bin/python3
"""Builds the thrust example: a marine section across a thrust-cored anticline.

4000 m wide and 1500 m deep on 400 x 150 elements of 10 m.  From the top: sea water (vs 0),
a young soft cover laid down after the thrusting on an erosion surface, then the folded and
faulted stack: sandstone, a tilted transversely isotropic shale (its symmetry axis normal to the
bedding), a reservoir sand holding a gas pocket at the crest of the fold (slow, light, strongly
attenuating, down to a level gas-water contact), limestone, and the basement, whose velocity
grows with depth.  A thrust dipping about 27 degrees to the left lifts its hanging wall 220 m up
the ramp, over the deeper layers of the footwall; a younger, steep normal fault drops the
right part of the crest by 40 m.  The source and the receivers are in the water, 10 m and 15 m
below the sea surface.

Writes inp_A, model.h5 (for `stripwave --model model.h5`) and model.png into the directory of
this script, or into OUTDIR.

usage: build_model.py [OUTDIR]
"""

import math
import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "python"))

from stripwave.model import Body, Fault, Layer, ModelError, layered_model  # noqa: E402
from stripwave.plot import plot_gridded, save  # noqa: E402
from stripwave.timing import npf_for_period, crossing_time  # noqa: E402

H, NX, NY = 10.0, 400, 150
WIDTH, DEPTH = NX * H, NY * H
CREST = 1850.0  # x of the fold's crest before the thrust moved it


def surface(depth, amplitude, width=700.0):
    """An interface `depth` m deep at the right edge, deepening to the left by 35 m per km and
    lifted by `amplitude` m over the fold, in the frame before the faults moved it."""
    return lambda x: depth + 0.035 * (WIDTH - x) - amplitude * np.exp(-((x - CREST) / width)
                                                                       ** 2)


LAYERS = [
    Layer("sea water", None, vp=1500.0, vs=0.0, rho=1.03, qp=1000.0, qs=1000.0,
          faulted=False),
    Layer("soft cover", lambda x: 140.0 + 0.02 * x, vp=1900.0, vp_vs=1.9, qp=70.0, qs=35.0,
          gradient={"vp": 0.8}, faulted=False),
    # The erosion surface the cover rests on: the top of the folded stack.
    Layer("sandstone", lambda x: 300.0 + 0.03 * x + 25.0 * np.sin(x / 420.0), vp=2500.0,
          vp_vs=1.9, qp=90.0, qs=45.0, gradient={"vp": 0.5}),
    Layer("shale", surface(800.0, 260.0), vp=2900.0, vs=1450.0, qp=60.0, qs=30.0,
          epsilon=0.18, delta=0.06, tilt="bedding"),
    Layer("reservoir sand", surface(960.0, 260.0), vp=3200.0, vp_vs=1.75, qp=110.0,
          qs=55.0),
    Layer("limestone", surface(1080.0, 260.0), vp=4300.0, vs=2300.0, rho=2.6, qp=160.0,
          qs=80.0, gradient={"vp": 0.3, "vs": 0.15}),
    Layer("basement", surface(1450.0, 200.0, 900.0), vp=5000.0, vp_vs=1.73, qp=300.0,
          qs=150.0, gradient={"vp": 0.6}),
]

FAULTS = [
    # The thrust: a ramp dipping 27 degrees to the left, from the bottom up to the erosion
    # surface; its hanging wall (on the left) rides 220 m up and 440 m to the right.
    Fault([(1000.0, 1500.0), (3400.0, 300.0)], throw=-220.0, name="thrust"),
    # A crestal normal fault, dipping steeply to the right, younger than the thrust.
    Fault([(2380.0, 0.0), (2560.0, 900.0)], throw=40.0, name="crestal fault"),
]

# Gas fills the reservoir sand at the crest of the fold down to a level gas-water contact
# (a flat spot); the shale above seals it, the thrust closes it on the right.
GAS_WATER_CONTACT = 640.0
BODIES = [
    Body("gas", lambda x, z: z < GAS_WATER_CONTACT, within="reservoir sand", vp=2500.0,
         vs=1830.0, rho=2.08, qp=20.0, qs=50.0),
]

RECORD = 1600.0  # ms
F4, FREQ = 0.035, 0.012  # kHz


def build():
    model = layered_model(H, NX, NY, LAYERS, FAULTS, BODIES)
    slowest, _ = model.slowest_wave()
    # A period of the frequency sampling long enough for the record and the slowest wave's
    # crossing of the model: nothing wraps around.
    npf = npf_for_period(RECORD + crossing_time(WIDTH, DEPTH, slowest * 1e-3), F4)
    deck = {
        "maxlow": 200, "perclow": 0.2, "npf": npf, "key": 4, "freq": FREQ, "stime": RECORD,
        "f1": 0.0, "f2": 0.0, "f3": 0.028, "f4": F4, "maxiter": 200, "reduc": 0.001,
        "kdel": 1, "tmute": 0.0, "xsou": 1505.0, "ysou": DEPTH - 10.0,
        "tsnap": [300.0, 600.0, 900.0, 1200.0],
        "receivers": {"nrec": 191, "xinic": 105.0, "yinic": DEPTH - 15.0, "xfin": 3905.0,
                      "yfin": DEPTH - 15.0},
    }
    return model, deck


def main(argv):
    outdir = Path(argv[1]) if len(argv) > 1 else HERE
    model, deck = build()
    try:
        written = model.write(outdir, deck)
    except ModelError as err:
        print(err, file=sys.stderr)
        return 1
    for w in model.warnings(deck):
        print(f"warning: {w}")
    picture = save(plot_gridded(model, "thrust", model.deck(deck)), outdir / "model.png", dpi=60)
    index, names = model.labels
    print(f"{NX} x {NY} elements of {H:g} m; npf = {deck['npf']} (period "
          f"{deck['npf'] / F4:.0f} ms), dt = {model.time_step():.4g} ms; "
          f"{math.ceil(RECORD / model.time_step())} samples")
    print("elements per unit: " + ", ".join(f"{n} {np.count_nonzero(index == k)}"
                                            for k, n in enumerate(names)))
    print("wrote " + ", ".join(str(p) for p in [*written, picture]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
