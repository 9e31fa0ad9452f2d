"""Gridded models: one set of properties per element, written as a deck `inp_A` and a model
file (HDF5) for `stripwave --model FILE`.

A `GriddedModel` holds 2-D arrays of shape (ny, nx), row 0 at the top of the model (depth
increases down the rows, as in SEG-Y sections) and column 0 at the left: P and S velocity in m/s
(S 0 for a fluid), density in g/cm3, optionally the quality factors qp and qs, Thomsen's epsilon
and delta, and the tilt of the symmetry axis from the vertical towards +x in degrees.  The
element of row r and column c is the program's element (ix, iy) = (c + 1, ny - r).

Models come from arrays (`GriddedModel`), from SEG-Y sections (`from_segy`, resampled onto the
elements by `resample`) or from layers (`stripwave.layers`).  A missing density follows
Gardner's relation and a missing S velocity a vp/vs ratio.  `GriddedModel.smoothed` smooths by
a Gaussian on slowness.  Every check runs before anything is written: `check` names the dataset
and the first bad element of each problem.
"""

from __future__ import annotations

import math
import os
from dataclasses import dataclass, field, replace
from pathlib import Path

import numpy as np

from .deck import deck_lines, quantise
from .grid import element_size
from .model import ModelError, check_model
from .timing import wraparound_warning

#: Datasets of the model file in the order they are checked, with the unit each is written in.
DATASETS = ("vp", "vs", "rho", "qp", "qs", "epsilon", "delta", "tilt")
UNITS = {"vp": "m/s", "vs": "m/s", "rho": "g/cm3", "qp": "1", "qs": "1", "epsilon": "1",
         "delta": "1", "tilt": "degree"}
#: Units a model file may state, with the factor to the units held here (m/s, g/cm3).
ACCEPTED_UNITS = {"vp": {"m/s": 1.0, "km/s": 1000.0}, "vs": {"m/s": 1.0, "km/s": 1000.0},
                  "rho": {"g/cm3": 1.0, "kg/m3": 1e-3}, "qp": {"1": 1.0}, "qs": {"1": 1.0},
                  "epsilon": {"1": 1.0}, "delta": {"1": 1.0}, "tilt": {"degree": 1.0}}
PAIRS = (("qp", "qs"), ("epsilon", "delta"))
MODEL_FILE = "model.h5"


def gardner_density(vp) -> np.ndarray:
    """Gardner's relation: density in g/cm3 from the P velocity in m/s, 0.31 vp^0.25."""
    return 0.31 * np.asarray(vp, dtype=float) ** 0.25


def element_label(row: int, column: int, ny: int) -> str:
    """An element as the program and the array name it: (ix, iy) and [row, column]."""
    return f"(ix, iy) = ({column + 1}, {ny - row}) [row {row}, column {column}]"


def _first_bad(name: str, values: np.ndarray, bad: np.ndarray, reason: str) -> str | None:
    """One message for the elements where `bad` holds: the first in storage order, and how
    many there are."""
    count = int(np.count_nonzero(bad))
    if not count:
        return None
    row, column = np.unravel_index(int(np.argmax(bad)), bad.shape)
    more = f" ({count} elements)" if count > 1 else ""
    return (f"{name}: element {element_label(row, column, bad.shape[0])} = "
            f"{values[row, column]:.6g}: {reason}{more}")


def thomsen_stiffness(vp, vs, rho, epsilon, delta):
    """C11, C13, C33, C55 (GPa with m/s and g/cm3 scaled to km/s) of a medium with a vertical
    symmetry axis, and the radicand 2 delta C33 (C33 - C55) + (C33 - C55)^2 of C13."""
    vp, vs = np.asarray(vp) * 1e-3, np.asarray(vs) * 1e-3
    c33 = rho * vp * vp
    c55 = rho * vs * vs
    c11 = c33 * (1.0 + 2.0 * epsilon)
    radicand = 2.0 * delta * c33 * (c33 - c55) + (c33 - c55) ** 2
    with np.errstate(invalid="ignore"):
        c13 = np.sqrt(radicand) - c55
    return c11, c13, c33, c55, radicand


def property_messages(data: dict) -> list:
    """Everything wrong with a set of datasets (name -> array), in the order the program checks
    a model file: datasets present, shapes, values dataset by dataset, vs below vp, then the
    stiffness.  Empty when the model can be written."""
    out = [f"{name}: missing (vp, vs and rho are required)" for name in ("vp", "vs", "rho")
           if data.get(name) is None]
    for a, b in PAIRS:
        for one, other in ((a, b), (b, a)):
            if data.get(one) is not None and data.get(other) is None:
                out.append(f"{one}: given without {other} ({a} and {b} come together)")
    if out:
        return out
    shape = np.shape(data["vp"])
    if len(shape) != 2 or 0 in shape:
        return [f"vp: shape {shape}, expected 2-D (ny, nx) with elements"]
    for name in DATASETS[1:]:
        if data.get(name) is not None and np.shape(data[name]) != shape:
            out.append(f"{name}: shape {np.shape(data[name])}, expected (ny, nx) = {shape} as vp")
    if out:
        return out
    v = {name: np.asarray(data[name], dtype=float) for name in DATASETS
         if data.get(name) is not None}
    for name, values in v.items():
        msg = _first_bad(name, values, ~np.isfinite(values), "not finite")
        if msg is None and name in ("vp", "rho"):
            msg = _first_bad(name, values, values <= 0, "must be positive")
        elif msg is None and name == "vs":
            msg = _first_bad(name, values, values < 0, "must not be negative (0: a fluid)")
        elif msg is None and name in ("qp", "qs"):
            msg = _first_bad(name, values, values <= 0, "must be positive")
        if msg:
            out.append(msg)
    if out:
        return out
    msg = _first_bad("vs", v["vs"], v["vs"] >= v["vp"], "not below vp (the stiffness would "
                     "not be positive definite)")
    if msg:
        return [msg + f"; vp there is {v['vp'].flat[int(np.argmax(v['vs'] >= v['vp']))]:.6g}"]
    eps = v.get("epsilon", np.zeros(shape))
    delta = v.get("delta", np.zeros(shape))
    c11, c13, c33, c55, radicand = thomsen_stiffness(v["vp"], v["vs"], v["rho"], eps, delta)
    msg = _first_bad("delta", delta, radicand < 0, "gives no real C13 (2 delta C33 (C33 - C55) "
                     "+ (C33 - C55)^2 < 0)")
    if msg:
        return [msg]
    det = c11 * c33 - c13 * c13
    fluid = v["vs"] == 0
    bad = (c11 <= 0) | np.where(fluid, det < 0, det <= 0)
    msg = _first_bad("epsilon", eps, bad, "with delta there, a stiffness that is not positive "
                     "definite (C11 C33 - C13^2 <= 0)")
    if msg:
        row, column = np.unravel_index(int(np.argmax(bad)), shape)
        return [msg + f"; delta = {delta[row, column]:.6g}"]
    return []


@dataclass
class GriddedModel:
    """Properties per element on a grid of square elements of side `h` (m).

    Arrays of shape (ny, nx), row 0 at the top: `vp`, `vs` (m/s, 0 for a fluid), `rho` (g/cm3),
    optionally `qp` and `qs`, `epsilon` and `delta`, `tilt` (degrees from the vertical towards
    +x).  `reference_frequency` (Hz) is the frequency the velocities and Q are given at (None:
    the deck's dominant frequency when written).  `labels` optionally names the elements for
    pictures: (array of indices into the names, list of names); it is not written.
    """

    h: float
    vp: np.ndarray
    vs: np.ndarray
    rho: np.ndarray
    qp: np.ndarray | None = None
    qs: np.ndarray | None = None
    epsilon: np.ndarray | None = None
    delta: np.ndarray | None = None
    tilt: np.ndarray | None = None
    reference_frequency: float | None = None
    labels: tuple | None = field(default=None, repr=False)

    @classmethod
    def from_arrays(cls, h, vp, vs=None, rho=None, *, vp_vs=None, velocity_unit="m/s",
                    density_unit="g/cm3", **optional) -> "GriddedModel":
        """A model from arrays in the given units: without `rho` the density follows Gardner's
        relation, without `vs` the S velocity is vp / `vp_vs`.  `optional` takes qp, qs,
        epsilon, delta, tilt, reference_frequency and labels."""
        vscale = ACCEPTED_UNITS["vp"].get(velocity_unit)
        rscale = ACCEPTED_UNITS["rho"].get(density_unit)
        if vscale is None or rscale is None:
            raise ModelError([f"units {velocity_unit!r}, {density_unit!r}: velocities in m/s or "
                              "km/s, densities in g/cm3 or kg/m3"])
        vp = np.asarray(vp, dtype=float) * vscale
        if vs is None:
            if vp_vs is None:
                raise ModelError(["vs: missing; give vs or a vp/vs ratio (vp_vs)"])
            vs = vp / float(vp_vs)
        else:
            vs = np.asarray(vs, dtype=float) * vscale
        rho = gardner_density(vp) if rho is None else np.asarray(rho, dtype=float) * rscale
        arrays = {k: (None if optional.get(k) is None else np.asarray(optional[k], dtype=float))
                  for k in DATASETS[3:]}
        return cls(float(h), vp, vs, rho, **arrays,
                   reference_frequency=optional.get("reference_frequency"),
                   labels=optional.get("labels"))

    # ----------------------------------------------------------------------------- geometry
    @property
    def shape(self) -> tuple:
        return np.shape(self.vp)

    @property
    def nx(self) -> int:
        return self.shape[1]

    @property
    def ny(self) -> int:
        return self.shape[0]

    @property
    def width(self) -> float:
        return self.nx * self.h

    @property
    def height(self) -> float:
        return self.ny * self.h

    def datasets(self) -> dict:
        """Name -> array of every dataset the model has, in file order."""
        return {k: getattr(self, k) for k in DATASETS if getattr(self, k) is not None}

    # ------------------------------------------------------------------------------- checks
    def check(self) -> list:
        """Messages for everything wrong with the properties; empty when they can be written."""
        out = []
        if not (math.isfinite(self.h) and self.h > 0):
            out.append(f"h = {self.h:g}: the element size must be positive")
        f = self.reference_frequency
        if f is not None and not (math.isfinite(f) and f > 0):
            out.append(f"reference_frequency = {f:g}: must be a positive frequency in Hz")
        return out + property_messages({k: getattr(self, k) for k in DATASETS})

    def fastest_p(self) -> float:
        """The largest P velocity of any element in the grid frame (m/s): vp, or vp
        sqrt(1 + 2 epsilon) across the symmetry axis where that is faster."""
        vp = np.asarray(self.vp, dtype=float)
        if self.epsilon is not None:
            vp = vp * np.sqrt(np.maximum(1.0, 1.0 + 2.0 * np.asarray(self.epsilon)))
        return float(vp.max())

    def slowest_wave(self) -> tuple:
        """(velocity in m/s, which) of the slowest wave: S in solids, P in fluids."""
        vs = np.asarray(self.vs, dtype=float)
        solid = vs > 0
        slow_s = float(vs[solid].min()) if solid.any() else math.inf
        slow_fluid = float(np.asarray(self.vp)[~solid].min()) if (~solid).any() else math.inf
        return (slow_s, "the slowest S wave") if slow_s <= slow_fluid else \
            (slow_fluid, "the slowest P wave (in the fluid)")

    def deck(self, deck: dict) -> dict:
        """The deck of the model: `deck` (the JSON model's deck section; times in ms, lengths in
        m, frequencies in kHz) with the grid of the model."""
        out = dict(deck)
        out.setdefault("nx", self.nx)
        out.setdefault("ny", self.ny)
        out.setdefault("xsize", self.width)
        out.setdefault("ysize", self.height)
        return out

    def _stand_in(self, deck: dict) -> dict:
        """A JSON model of one elastic material moving at the fastest P velocity, which the
        program's time step follows: the deck checks of the JSON models apply to it as they are."""
        vp = self.fastest_p() * 1e-3
        return {"deck": deck, "units": {"length": "m", "time": "ms"},
                "materials": [{"kind": "isotropic", "vp": vp, "vs": 0.5 * vp, "rho": 2.0}],
                "regions": [{"xi": 0.0, "xf": deck["xsize"], "yi": 0.0, "yf": deck["ysize"],
                             "material": 1}]}

    def deck_messages(self, deck: dict, lift_limits: bool = False) -> list:
        """What is wrong with the deck for this model: its grid against the model's, and the
        JSON models' deck checks (source, receivers, time axis, band, snapshots)."""
        full = self.deck(deck)
        out = []
        for key, value in (("nx", self.nx), ("ny", self.ny)):
            if full[key] != value:
                out.append(f"deck.{key} = {full[key]}: the model has {value} "
                           f"{'columns' if key == 'nx' else 'rows'} (shape (ny, nx) = "
                           f"{self.shape})")
        if out:
            return out
        for key, value in (("xsize", self.width), ("ysize", self.height)):
            if not isinstance(full[key], (int, float)) or \
                    abs(full[key] - value) > 1e-9 * value:
                out.append(f"deck.{key} = {full[key]}: the model is {value:g} m "
                           f"({self.nx if key == 'xsize' else self.ny} elements of {self.h:g} m)")
        if out:
            return out
        out = check_model(self._stand_in(full), lift_limits)
        if out:
            return [m.replace("materials[0]", "the fastest P velocity") for m in out]
        h = element_size(full["nx"], full["ny"], quantise(full["xsize"]), quantise(full["ysize"]))
        if abs(h - self.h) > 1e-9 * self.h:
            out.append(f"deck: elements of {h:g} m from xsize / nx, the model's are {self.h:g} m")
        return out

    def warnings(self, deck: dict) -> list:
        """Advice on a model that can be written (not errors): elements per wavelength of the
        slowest wave at the dominant frequency, and arrivals past the period of the frequency
        sampling."""
        full = self.deck(deck)
        slow, what = self.slowest_wave()
        slow *= 1e-3  # m/ms
        out = []
        per = slow / (full["freq"] * self.h)
        if per < 5:
            out.append(f"{per:.1f} elements per wavelength of {what} at the dominant frequency "
                       f"({slow:.4g} / ({full['freq']:g} x {self.h:g})): expect numerical "
                       "dispersion; 8 or more keep it small")
        wrap = wraparound_warning(full["stime"], full["f4"], full["npf"], self.width,
                                  self.height, slow, what)
        if wrap:
            out.append(wrap)
        return out

    def time_step(self) -> float:
        """The time step (ms) the program derives: h / the fastest P velocity (m/ms)."""
        return self.h / (self.fastest_p() * 1e-3)

    # ---------------------------------------------------------------------------- smoothing
    def smoothed(self, length: float, method: str = "gaussian-slowness") -> "GriddedModel":
        """The model smoothed over `length` m (the standard deviation of the Gaussian).

        "gaussian-slowness": a Gaussian filter applied to the slownesses 1/vp and 1/vs, to the
        density, to 1/Q, to epsilon, delta and the tilt; solids and fluids are smoothed apart
        (each weighted by its own elements), so a fluid stays a fluid with vs 0 and a sea
        floor stays sharp.  Edges are extended by their nearest elements.
        """
        if method != "gaussian-slowness":
            raise ValueError(f"smoothing {method!r}: the method is 'gaussian-slowness'")
        from scipy.ndimage import gaussian_filter
        sigma = float(length) / self.h
        fluid = np.asarray(self.vs) == 0
        masks = [m for m in (~fluid, fluid) if m.any()]

        def smooth(values, forward=lambda a: a, back=lambda a: a, solid_only=False):
            values = np.asarray(values, dtype=float)
            out = np.zeros_like(values)
            for mask in (masks[:1] if solid_only and (~fluid).any() else masks):
                w = gaussian_filter(mask.astype(float), sigma, mode="nearest")
                s = gaussian_filter(np.where(mask, forward(values), 0.0), sigma, mode="nearest")
                with np.errstate(invalid="ignore", divide="ignore"):
                    out[mask] = back(s[mask] / w[mask])
            return out

        def inverse(a):
            return 1.0 / a

        vs = np.zeros_like(np.asarray(self.vs, dtype=float))
        if (~fluid).any():
            vs = smooth(np.where(fluid, 1.0, self.vs), inverse, inverse, solid_only=True)
            vs[fluid] = 0.0
        optional = {k: (None if getattr(self, k) is None else smooth(getattr(self, k)))
                    for k in ("epsilon", "delta", "tilt")}
        for k in ("qp", "qs"):
            q = getattr(self, k)
            optional[k] = None if q is None else smooth(q, inverse, inverse)
        return replace(self, vp=smooth(self.vp, inverse, inverse), vs=vs, rho=smooth(self.rho),
                       **optional)

    # -------------------------------------------------------------------------------- files
    def write_model_file(self, path, reference_frequency: float | None = None) -> Path:
        """Writes the model file (HDF5, one dataset per property with its `units`, the root
        attribute `reference_frequency` in Hz); checked first, replaced whole."""
        import h5py
        freq = reference_frequency if reference_frequency is not None else \
            self.reference_frequency
        messages = self.check()
        if freq is None or not (math.isfinite(freq) and freq > 0):
            messages.append(f"reference_frequency = {freq}: must be a positive frequency in Hz")
        if messages:
            raise ModelError(messages, path)
        path = Path(path)
        part = path.with_name(path.name + ".part")
        with h5py.File(part, "w") as f:
            f.attrs["reference_frequency"] = float(freq)
            for name, values in self.datasets().items():
                ds = f.create_dataset(name, data=np.asarray(values, dtype="<f8"))
                ds.attrs["units"] = UNITS[name]
        os.replace(part, path)
        return path

    def write(self, outdir, deck: dict, name: str = MODEL_FILE, lift_limits: bool = False,
              source=None) -> list:
        """Checks the model and its deck and writes `inp_A` and the model file `name` into
        `outdir`; returns the paths.  Raises ModelError (nothing written) when a check fails.
        The reference frequency defaults to the deck's dominant frequency."""
        messages = self.check() or self.deck_messages(deck, lift_limits)
        if messages:
            raise ModelError(messages, source)
        full = self.deck(deck)
        freq = self.reference_frequency or quantise(full["freq"]) * 1000.0  # kHz -> Hz
        outdir = Path(outdir)
        outdir.mkdir(parents=True, exist_ok=True)
        model_path = self.write_model_file(outdir / name, freq)
        d = {k: (quantise(v) if isinstance(v, float) else v) for k, v in full.items()}
        lines = deck_lines(d, 2, [])  # the material count is read but unused with --model
        deck_path = outdir / "inp_A"
        deck_path.write_text("\n".join(lines) + "\n", encoding="ascii")
        return [deck_path, model_path]


def read_model_file(path, h: float | None = None) -> GriddedModel:
    """A model file read back (units converted to m/s and g/cm3); ModelError names what is
    wrong with a file that does not follow the layout.  The element size is `h`, else the one
    of the deck `inp_A` beside the file, else NaN."""
    import h5py
    path = Path(path)
    try:
        f = h5py.File(path, "r")
    except OSError as err:
        raise ModelError([f"cannot read as HDF5: {err}"], path) from None
    with f:
        data, out = {}, []
        for name in DATASETS:
            if name not in f:
                continue
            ds = f[name]
            if not isinstance(ds, h5py.Dataset) or ds.dtype.kind != "f":
                out.append(f"{name}: not a floating-point dataset")
                continue
            unit = ds.attrs.get("units")
            unit = unit.decode() if isinstance(unit, bytes) else unit
            if unit not in ACCEPTED_UNITS[name]:
                out.append(f"{name}: units attribute {unit!r}, expected one of "
                           f"{', '.join(ACCEPTED_UNITS[name])}")
                continue
            data[name] = ds[()].astype(float) * ACCEPTED_UNITS[name][unit]
        freq = f.attrs.get("reference_frequency")
        if freq is None or np.ndim(freq) != 0 or not np.isfinite(freq) or freq <= 0:
            out.append(f"reference_frequency: {freq!r}, expected a positive number (Hz)")
    out = out or property_messages(data)
    if out:
        raise ModelError(out, path)
    if h is None:
        h = math.nan
        deck = path.parent / "inp_A"
        if deck.is_file():
            from .numbers import read_int_field, read_real_field
            try:
                lines = deck.read_text(encoding="ascii", errors="replace").splitlines()
                nx, ny = read_int_field(lines[2]), read_int_field(lines[3])
                h = element_size(nx, ny, read_real_field(lines[4]), read_real_field(lines[5]))
            except (IndexError, ValueError, ZeroDivisionError):
                pass
    return GriddedModel(h, **{k: data.get(k) for k in DATASETS},
                        reference_frequency=float(freq))


# --------------------------------------------------------------------------- resampling

def overlap_weights(count: int, size: float, cells: int, cell: float) -> np.ndarray:
    """Matrix [element, cell] of the fraction of each element (of `size`, `count` of them from
    0) that each cell (of `cell`, from 0) covers; rows sum to 1 where the cells cover the
    element."""
    e0 = np.arange(count)[:, None] * size
    c0 = np.arange(cells)[None, :] * cell
    overlap = np.minimum(e0 + size, c0 + cell) - np.maximum(e0, c0)
    return np.clip(overlap, 0.0, None) / size


#: Resampling methods: what is averaged over each element.
RESAMPLING = ("slowness", "mean", "attenuation")


def resample(values, cell: tuple, h: float, method: str = "slowness",
             shape: tuple | None = None) -> np.ndarray:
    """Values on cells of (depth, width) `cell` (row 0 at the top, each sample the value of its
    whole cell) averaged over elements of side `h` from the top left corner.

    "slowness": the element's velocity is one over its mean slowness (the travel time across
    it is kept); zeros (fluids, vs) count as fluid: an element more than half fluid is fluid
    (0), any other the slowness mean of its solid part.  "mean": the area-weighted mean
    (density, epsilon, delta, tilt).  "attenuation": one over the mean of 1/Q.
    `shape` (ny, nx) defaults to the whole elements the cells cover.
    """
    values = np.asarray(values, dtype=float)
    dz, dx = cell
    if shape is None:
        shape = (int(values.shape[0] * dz / h + 1e-9), int(values.shape[1] * dx / h + 1e-9))
    wz = overlap_weights(shape[0], h, values.shape[0], dz)
    wx = overlap_weights(shape[1], h, values.shape[1], dx)

    def average(a):
        return wz @ a @ wx.T

    if method == "mean":
        return average(values)
    if method == "attenuation":
        return 1.0 / average(1.0 / values)
    if method != "slowness":
        raise ValueError(f"resampling {method!r}: one of {', '.join(RESAMPLING)}")
    solid = values > 0
    if solid.all():
        return 1.0 / average(1.0 / values)
    part = average(solid.astype(float))
    with np.errstate(divide="ignore", invalid="ignore"):
        slowness = average(np.where(solid, 1.0 / np.where(solid, values, 1.0), 0.0)) / part
        return np.where(part >= 0.5, 1.0 / slowness, 0.0)


# ----------------------------------------------------------------------------------- SEG-Y

#: Header units of the sample interval of a depth section, in metres.
INTERVAL_UNITS = {"mm": 1e-3, "m": 1.0}


def read_segy_section(path, interval_unit: str = "mm", trace_spacing: float | None = None):
    """(values [sample, trace], sample interval in m, trace spacing in m) of a SEG-Y depth
    section.

    The sample interval is the file's (binary header, else the first trace header), in
    `interval_unit`: "mm" as segyio writes depth samples given in metres (its interval field
    holds thousandths), "m" as in SEG-Y revision 1 for depth data.  The trace spacing is the
    step of the traces' CDP x, else group x, else source x, with the coordinate scalar; it must
    be even.  `trace_spacing` (m) replaces it for files without coordinates.
    """
    import segyio
    path = Path(path)
    try:
        f = segyio.open(str(path), "r", ignore_geometry=True)
    except (OSError, RuntimeError) as err:
        raise ModelError([f"cannot read as SEG-Y: {err}"], path) from None
    with f:
        if f.tracecount < 1 or len(f.samples) < 1:
            raise ModelError(["no traces or no samples"], path)
        values = np.stack([np.asarray(t, dtype=float) for t in f.trace]).T
        interval = f.bin[segyio.BinField.Interval] or \
            f.header[0][segyio.TraceField.TRACE_SAMPLE_INTERVAL]
        if interval_unit not in INTERVAL_UNITS:
            raise ModelError([f"interval unit {interval_unit!r}: one of "
                              f"{', '.join(INTERVAL_UNITS)}"], path)
        if interval <= 0:
            raise ModelError(["sample interval 0 in the binary and trace headers"], path)
        dz = interval * INTERVAL_UNITS[interval_unit]
        if trace_spacing is None:
            trace_spacing = _trace_spacing(f, path)
    return values, float(dz), float(trace_spacing)


def _trace_spacing(f, path) -> float:
    import segyio
    tf = segyio.TraceField
    if f.tracecount < 2:
        raise ModelError(["one trace: give the trace spacing"], path)
    headers = [f.header[k] for k in range(f.tracecount)]
    scalar = np.array([h[tf.SourceGroupScalar] for h in headers], dtype=float)
    scale = np.where(scalar > 0, scalar, np.where(scalar < 0, -1.0 / np.where(scalar < 0,
                                                                              scalar, -1.0), 1.0))
    for key, word in ((tf.CDP_X, "CDP x"), (tf.GroupX, "group x"), (tf.SourceX, "source x")):
        x = np.array([h[key] for h in headers], dtype=float) * scale
        step = np.diff(x)
        if not step.any():
            continue
        spacing = float(np.abs(step).mean())
        if np.abs(np.abs(step) - spacing).max() > 1e-6 * spacing or (step == 0).any():
            k = int(np.argmax(np.abs(np.abs(step) - spacing)))
            raise ModelError([f"traces not evenly spaced in {word}: {x[k]:g} to {x[k + 1]:g} "
                              f"after a mean step of {spacing:g}"], path)
        return spacing
    raise ModelError(["no trace coordinates (CDP, group and source x are all equal): give the "
                      "trace spacing"], path)


def from_segy(vp_path, h: float, vs_path=None, rho_path=None, *, vp_vs=None,
              velocity_unit="m/s", density_unit="g/cm3", interval_unit="mm",
              trace_spacing=None, reference_frequency=None) -> GriddedModel:
    """A model from SEG-Y depth sections of vp (and optionally vs and density, on the same
    traces and samples), resampled onto elements of `h` m: velocities by their mean slowness
    over each element, the density by its mean.  Without a vs section vs = vp / `vp_vs`;
    without a density section Gardner's relation."""
    vp, dz, dx = read_segy_section(vp_path, interval_unit, trace_spacing)
    sections = {"vp": vp}
    for name, p in (("vs", vs_path), ("rho", rho_path)):
        if p is None:
            continue
        values, dz2, dx2 = read_segy_section(p, interval_unit, trace_spacing)
        if values.shape != vp.shape or abs(dz2 - dz) > 1e-9 * dz or abs(dx2 - dx) > 1e-9 * dx:
            raise ModelError([f"{values.shape[0]} samples of {dz2:g} m on {values.shape[1]} "
                              f"traces {dx2:g} m apart; the vp section has {vp.shape[0]} of "
                              f"{dz:g} m on {vp.shape[1]} traces {dx:g} m apart"], p)
        sections[name] = values
    messages = property_messages({"vp": sections["vp"], "vs": sections.get("vs", 0 * vp),
                                  "rho": sections.get("rho", 1 + 0 * vp)})
    if messages:
        raise ModelError(["the section before resampling: " + m for m in messages], vp_path)
    shape = (int(vp.shape[0] * dz / h + 1e-9), int(vp.shape[1] * dx / h + 1e-9))
    if 0 in shape:
        raise ModelError([f"the section ({vp.shape[0] * dz:g} m deep, {vp.shape[1] * dx:g} m "
                          f"wide) holds no element of {h:g} m"], vp_path)
    out = {name: resample(values, (dz, dx), h, "mean" if name == "rho" else "slowness", shape)
           for name, values in sections.items()}
    return GriddedModel.from_arrays(h, out["vp"], out.get("vs"), out.get("rho"), vp_vs=vp_vs,
                                    velocity_unit=velocity_unit, density_unit=density_unit,
                                    reference_frequency=reference_frequency)
