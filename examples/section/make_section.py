#!/usr/bin/python3
"""Writes model.json of the geological section: folded layers cut by a normal fault.

The section is 3000 m wide and 1500 m deep on 10 m elements.  Layer boundaries follow an
anticline centred at x = 1000 m; right of the fault at x = 2000 m every boundary below the top
layer is dropped by 150 m.  A gas-sand lens sits in the shale on the crest of the fold.  The
program's regions are rectangles and later ones overwrite earlier ones, so each layer is painted
as one rectangle per 50 m column, from its base up to the surface, deepest layer first; equal
neighbouring columns are merged.

usage: make_section.py [OUT.json]   (default: model.json beside this script)
"""

import json
import math
import sys
from pathlib import Path

WIDTH, HEIGHT, H = 3000.0, 1500.0, 10.0
COLUMN = 50.0
FAULT_X, THROW = 2000.0, 150.0

MATERIALS = [
    {"kind": "isotropic", "name": "sandstone", "vp": 2.4, "vs": 1.3, "rho": 2.2, "qp": 60, "qs": 30},
    {"kind": "isotropic", "name": "limestone", "vp": 4.0, "vs": 2.2, "rho": 2.5, "qp": 150, "qs": 80},
    {"kind": "vti", "name": "shale", "vp0": 3.0, "vs0": 1.6, "rho": 2.4,
     "epsilon": 0.15, "delta": 0.05, "gamma": 0.1, "q": 50},
    {"kind": "isotropic", "name": "gas sand", "vp": 2.2, "vs": 1.4, "rho": 2.0, "qp": 30, "qs": 30},
    {"kind": "isotropic", "name": "basement", "vp": 5.0, "vs": 2.9, "rho": 2.7, "qp": 300, "qs": 150},
]

# (material, depth of the base below the surface away from the fold, fold amplitude)
LAYERS = [(1, 300.0, 0.0), (3, 650.0, 200.0), (2, 1000.0, 200.0), (5, HEIGHT, 0.0)]


def base(depth: float, amplitude: float, x: float) -> float:
    """Height (y, up from the bottom) of a layer base at x."""
    y = HEIGHT - depth + amplitude * math.exp(-((x - 1000.0) / 450.0) ** 2)
    if x >= FAULT_X and depth < HEIGHT:
        y -= THROW
    return max(0.0, min(HEIGHT, round(y / H) * H))


def regions() -> list:
    out = []
    columns = [i * COLUMN for i in range(int(WIDTH / COLUMN))]
    for material, depth, amplitude in reversed(LAYERS):
        runs = []
        for x in columns:
            y = base(depth, amplitude, x + COLUMN / 2)
            if runs and runs[-1][2] == y:
                runs[-1][1] = x + COLUMN
            else:
                runs.append([x, x + COLUMN, y])
        name = MATERIALS[material - 1]["name"]
        for xi, xf, yi in runs:
            out.append({"name": name, "xi": xi, "xf": xf, "yi": yi, "yf": HEIGHT,
                        "material": material})
    out.append({"name": "gas sand", "xi": 800.0, "xf": 1200.0, "yi": 1000.0, "yf": 1060.0,
                "material": 4})
    return out


def model() -> dict:
    return {
        "about": "Geological section: folded sandstone, rotated transversely isotropic shale, "
                 "limestone and basement, cut by a normal fault at x = 2000 m, with a gas-sand "
                 "lens on the crest of the fold. Written by make_section.py. Units: m, ms, "
                 "m/ms, kHz, g/cm3, GPa.",
        "units": {"length": "m", "time": "ms"},
        "deck": {
            "maxlow": 100, "perclow": 0.2,
            "nx": int(WIDTH / H), "ny": int(HEIGHT / H), "xsize": WIDTH, "ysize": HEIGHT,
            "tsnap": [200.0, 400.0, 600.0, 800.0],
            "npf": 48, "key": 4, "freq": 0.015, "stime": 1000.0,
            "f1": 0.0, "f2": 0.0, "f3": 0.03, "f4": 0.04,
            "maxiter": 200, "reduc": 0.001,
            "kdel": 1, "tmute": 0.0,
            "xsou": 1505.0, "ysou": 1455.0,
            "receivers": {"nrec": 141, "xinic": 105.0, "yinic": 1485.0,
                          "xfin": 2905.0, "yfin": 1485.0},
        },
        "regions": regions(),
        "materials": MATERIALS,
    }


if __name__ == "__main__":
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("model.json")
    out.write_text(json.dumps(model(), indent=1) + "\n")
    print(out)
