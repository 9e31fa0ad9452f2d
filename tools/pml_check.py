#!/usr/bin/env python3
"""Measurements of the perfectly matched layer (--pml), solved directly (with --iterate, by
the strip iteration at the decks' reduc and maxiter): the homogeneous
example refined to 160 x 160 elements of 5 m against the exact solution after the first edge
reflection, with and without the layer; and the amplitude the layer reflects, at normal
incidence and at 60 degrees, for P (explosion) and S (vertical force) waves, for a low and a
high dominant frequency of the wavelet, in the elastic rock and with Q = 20: the traces of a
grid against those of a grid extended 400 m beyond its left edge (both with the layer), their
difference before the reflection from the far edge can arrive, over the peak of the direct
arrival.  The same reflections with model files (--model): a homogeneous tilted transversely
isotropic medium (Thomsen's epsilon and delta, the symmetry axis tilted), and an isotropic
medium whose velocities grow with depth with Q per element; for the tilted medium the
directions in which a wave's phase and group velocities point against each other across a
layer (the waves a layer may amplify instead of damping) are listed first.
Usage: tools/pml_check.py [BINARY] [WORKDIR] [--pml N] [--skip-exact] [--skip-tables]
[--skip-model-files] [--tilted EPSILON DELTA TILT]... [--graded] [--iterate]: the model files' media are the
tilted ones of --tilted and, with --graded, the graded one (default: 0.2 0.1 30, 0.2 0.1 45 and
the graded one)."""

import json
import subprocess
import sys
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

from stripwave import read_run  # noqa: E402
from stripwave.exact import (_phase_and_slope, exact_traces, first_reflection_time,  # noqa: E402
                             group_velocity, phase_velocity)
from stripwave.gridded import GriddedModel  # noqa: E402
from stripwave.model import build_model  # noqa: E402


# The options that choose the solver of every run: the direct solver, or (--iterate) none,
# the strip iteration.
SOLVER = ["--solver", "direct"]


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
        r = run(binary, model, work / f"h160_{name}", *SOLVER, *opts)
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
        runs.append(run(binary, model, work / f"refl_{label}_{name}", *SOLVER, *layered))
    v = vp if kind == "P" else vs
    return compare_runs(runs, recs, (xs, ys), extra, fdom, lambda k: v, vp)


def compare_runs(runs, recs, source, extra, fdom, direct_speed, fastest):
    """The largest difference of the grid's and the wide grid's traces (vector modulus)
    before the reflection from the wide grid's far edge can arrive, over the peak of the
    wide grid's trace, per receiver.  direct_speed(k): a speed of the direct arrival at
    receiver k not above its own (the delay of the wavelet's peak is taken from it);
    fastest: a speed no wave exceeds."""
    a, b = runs
    xs, ys = source
    t = a.traces.t
    out = []
    for k, (xr, yr) in enumerate(recs):
        direct = np.hypot(xr - xs, yr - ys)
        wide = np.hypot(b.traces.vx[k], b.traces.vy[k])
        t0 = t[np.argmax(wide)] - direct / direct_speed(k)   # the wavelet's delay to its peak
        # the far edge of the wide grid: its reflection (of the fastest wave) arrives after
        far = np.hypot(xr + extra + xs + extra, yr - ys) / fastest + t0 - 1.0 / fdom
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


class TiltedMedium:
    """The homogeneous example's rock (vp 2.0, vs 1.2 m/ms along the symmetry axis, rho 2.0)
    made transversely isotropic by Thomsen's epsilon and delta, the axis tilted by `tilt`
    degrees from the vertical towards +x."""

    def __init__(self, epsilon, delta, tilt):
        self.vp, self.vs, self.rho = 2.0, 1.2, 2.0
        self.epsilon, self.delta, self.tilt = epsilon, delta, tilt
        self.label = f"ti_e{epsilon:g}_d{delta:g}_t{tilt:g}"
        self.name = f"tilted TI (epsilon {epsilon:g}, delta {delta:g}, tilt {tilt:g})"
        directions = np.linspace(-90.0, 90.0, 3601)
        self.fastest = float(phase_velocity(directions, self.vp, self.vs, epsilon, delta,
                                            tilt).max())

    def grid(self, nx, ny, h):
        full = np.full((ny, nx), 1.0)
        return GriddedModel.from_arrays(h, 1000.0 * self.vp * full, 1000.0 * self.vs * full,
                                        self.rho * full, epsilon=self.epsilon * full,
                                        delta=self.delta * full, tilt=self.tilt * full)

    def direct_speed(self, kind, direction):
        """The group velocity of the direct qP (P) or qSV (S) wave in `direction` (degrees
        from the vertical towards +x)."""
        return group_velocity(direction, self.vp, self.vs, self.epsilon, self.delta, self.tilt,
                              "qp" if kind == "P" else "qsv")

    def backward_waves(self):
        """Per wave and stretched axis (x: the left and right layers, y: the bottom and top
        ones), the plane waves whose slowness along the axis points against their group
        velocity's component there: the largest angle of their wave normals from the layer's
        face (0: grazing; None: no such wave), and the largest such slowness component times
        the fastest speed, s cmax.  Such a wave grows by up to R^(-s cmax / 2) on its way
        across the layer where a wave of the same slowness pointing with its group velocity
        decays by R^(s cmax / 2) (R the layer's theoretical reflection, R^(1/2) one way at
        normal incidence of the fastest wave)."""
        out = []
        theta = np.radians(np.linspace(-180.0, 180.0, 360001)[:-1])   # from the axis
        for mode in ("qp", "qsv"):
            v, dv = _phase_and_slope(theta, self.vp, self.vs, self.epsilon, self.delta, mode)
            phi = theta + np.radians(self.tilt)        # the wave normal, from the vertical
            ray = phi + np.arctan2(dv, v)              # the group velocity's direction
            for axis, normal, group in (("x", np.sin(phi), np.sin(ray)),
                                        ("y", np.cos(phi), np.cos(ray))):
                back = normal * group < 0.0
                if not back.any():
                    out.append((mode, axis, None, 0.0))
                    continue
                grazing = float(np.degrees(np.arcsin(np.abs(normal[back]).max())))
                s = float(np.max(np.abs(normal[back]) / v[back]) * self.fastest)
                out.append((mode, axis, grazing, s))
        return out


class GradedMedium:
    """An isotropic medium of a model file whose velocities grow with depth (vp 2.0 m/ms at
    the top to 2.4 at the bottom of 800 m, vp / vs 5 / 3, rho 2.0) with Q per element, 20 at
    the top to 40 at the bottom (qp = qs), given at the wavelet's dominant frequency."""

    label = "graded_q"
    name = "isotropic, graded, Q 20 to 40 (model file)"
    dispersion = 1.05   # Q 20 raises the velocities at 25 Hz by 3 % over those at 4 Hz

    def __init__(self):
        self.fastest = 2.4 * self.dispersion

    @staticmethod
    def _depth(ny, h):
        return (np.arange(ny) + 0.5)[:, None] * h   # row 0 at the top

    def grid(self, nx, ny, h):
        depth = self._depth(ny, h) * np.ones((1, nx))
        vp = 2000.0 + 0.5 * depth
        q = 20.0 + depth / 40.0
        return GriddedModel.from_arrays(h, vp, 0.6 * vp, np.full((ny, nx), 2.0), qp=q, qs=q)

    def direct_speed(self, kind, direction):
        """The slowest velocity of the wave in the model, with the dispersion's margin."""
        return (2.0 if kind == "P" else 1.2) / self.dispersion


def model_file_case(binary, work, layer, kind, fdom, medium, label):
    """reflection_case with the medium given by a model file (--model)."""
    h, extra = 5.0, 400.0
    base = json.loads((ROOT / "examples" / "homogeneous" / "model.json").read_text())
    xs, ys = 102.5, 202.5
    recs = [(202.5, 202.5), (102.5, 547.5)]   # 0 and 59.3 degrees at the left edge
    runs = []
    for shift, name in ((0.0, "grid"), (extra, "wide")):
        d = dict(base["deck"])
        nx = int(round((800.0 + shift) / h))
        d.update(nx=nx, ny=160, xsize=800.0 + shift, ysize=800.0, npf=20, stime=780.0,
                 kdel=1 if kind == "P" else 4, freq=fdom, xsou=xs + shift, ysou=ys,
                 tsnap=[100.0])
        d["receivers"] = {"nrec": 2, "xinic": recs[0][0] + shift, "yinic": recs[0][1],
                          "xfin": recs[1][0] + shift, "yfin": recs[1][1]}
        rundir = work / f"refl_{label}_{name}"
        medium.grid(nx, 160, h).write(rundir, d)
        layered = ["--pml", str(layer)] if layer > 0 else []
        done = subprocess.run([str(binary), "-q", "--model", "model.h5", *SOLVER, *layered],
                              cwd=rundir, capture_output=True, text=True)
        if done.returncode != 0:
            raise SystemExit(f"{rundir}: status {done.returncode}: {done.stderr}")
        runs.append(read_run(rundir))
    speeds = [medium.direct_speed(kind, np.degrees(np.arctan2(xr - xs, yr - ys)))
              for xr, yr in recs]
    return compare_runs(runs, recs, (xs, ys), extra, fdom, lambda k: speeds[k],
                        medium.fastest)


def model_file_reflections(binary, work, layer, media):
    for medium in media:
        if isinstance(medium, TiltedMedium):
            for mode, axis, grazing, s in medium.backward_waves():
                where = "none" if grazing is None else \
                    f"wave normals up to {grazing:.1f} degrees off the layer's face, s cmax " \
                    f"up to {s:.3f}"
                print(f"{medium.name}: {mode} against its group velocity along {axis}: {where}")
        for kind in ("P", "S"):
            for fdom in (0.004, 0.015):
                label = f"{medium.label}_{kind}_{int(fdom * 1000)}hz"
                normal, oblique = model_file_case(binary, work, layer, kind, fdom, medium,
                                                  label)
                print(f"reflection {kind} {fdom * 1000:4.0f} Hz {medium.name}: normal "
                      f"{100 * normal:.3f} %, 59 degrees {100 * oblique:.3f} % of the direct "
                      "peak", flush=True)


if __name__ == "__main__":
    args = [a for a in sys.argv[1:]]
    layer = 20
    if "--pml" in args:
        k = args.index("--pml")
        layer = int(args[k + 1])
        del args[k:k + 2]
    tilted = []
    while "--tilted" in args:
        k = args.index("--tilted")
        tilted.append(TiltedMedium(*(float(x) for x in args[k + 1:k + 4])))
        del args[k:k + 4]
    flags = {f: f in args for f in ("--skip-exact", "--skip-tables", "--skip-model-files",
                                    "--graded", "--iterate")}
    if flags["--iterate"]:
        SOLVER = []
    args = [a for a in args if a not in flags]
    binary = Path(args[0]) if args else ROOT / "build" / "stripwave"
    work = Path(args[1]) if len(args) > 1 else Path("/tmp/pml_check")
    work.mkdir(parents=True, exist_ok=True)
    if not flags["--skip-exact"]:
        homogeneous_160(binary.resolve(), work, layer)
    if not flags["--skip-tables"]:
        reflections(binary.resolve(), work, layer)
    if not flags["--skip-model-files"]:
        if tilted or flags["--graded"]:
            media = tilted + ([GradedMedium()] if flags["--graded"] else [])
        else:
            media = [TiltedMedium(0.2, 0.1, 30.0), TiltedMedium(0.2, 0.1, 45.0), GradedMedium()]
        model_file_reflections(binary.resolve(), work, layer, media)
