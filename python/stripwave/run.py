"""A finished run: its parameters, traces and snapshots as numpy arrays with their axes."""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from .deck import DeckError, read_deck
from .log import Frequency, Region, RunLog, read_log
from .numbers import read_values
from .units import DEFAULT_LENGTH, DEFAULT_TIME, model_units


class RunError(Exception):
    """A run directory that cannot be read: names the directory and what is missing."""


def _component_field(name: str) -> str:
    """The attribute holding a velocity component: 'x' -> vx, 'y' -> vy."""
    if name in ("x", "vx"):
        return "vx"
    if name in ("y", "vy"):
        return "vy"
    raise ValueError(f"component {name!r}: use 'x' or 'y'")


@dataclass(frozen=True)
class RunParameters:
    """The run's parameters as the program derived them (units are the run's own)."""

    nx: int
    ny: int
    h: float                   #: side of the square element
    xsize: float               #: model width, nx h
    ysize: float               #: model height, ny h
    dt: float                  #: time step, h / largest P velocity
    nt: int                    #: samples per trace
    stime: float               #: simulated time asked for
    key: int                   #: wavelet type
    freq: float                #: dominant frequency of the wavelet
    band: tuple                #: (f1, f2, f3, f4) corners of the band-pass taper
    npf: int
    delf: float                #: frequency step; the period of the Fourier sums is 1 / delf
    delw: float                #: 2 pi delf
    jw1: int
    jw2: int                   #: frequency indices solved: jw1 .. jw2
    maxiter: int
    maxlow: int
    jwlow: int                 #: indices up to jwlow get maxlow passes
    reduc: float               #: convergence threshold of the relative change
    nmat: int
    kdel: int                  #: source pattern
    xsou: float
    ysou: float
    jsou: int
    ksou: int
    nrec: int
    vp_range: tuple            #: (smallest, largest) P velocity the program derived
    vs_range: tuple            #: (smallest, largest) S velocity
    cpu_time: float            #: CPU seconds of the run

    @property
    def period(self) -> float:
        """Time after which snapshots and traces wrap around: the frequency sums at
        (j - 1/2) delf repeat with the sign flipped."""
        return 1.0 / self.delf


@dataclass
class Traces:
    """Particle-velocity traces at the receivers: arrays of receivers x samples."""

    vx: np.ndarray             #: horizontal velocity (fort.60)
    vy: np.ndarray             #: vertical velocity (fort.70), positive up
    t: np.ndarray              #: time of each sample: 0, dt, 2 dt, ...
    rx: np.ndarray             #: receiver x
    ry: np.ndarray             #: receiver y (up from the bottom of the model)
    xsou: float
    ysou: float

    @property
    def dt(self) -> float:
        return float(self.t[1] - self.t[0]) if len(self.t) > 1 else math.nan

    @property
    def offsets(self) -> np.ndarray:
        """Horizontal source-receiver offset, signed (receiver x minus source x)."""
        return self.rx - self.xsou

    @property
    def distances(self) -> np.ndarray:
        """Straight-line source-receiver distance."""
        return np.hypot(self.rx - self.xsou, self.ry - self.ysou)

    def component(self, name: str) -> np.ndarray:
        """'x' (horizontal) or 'y' (vertical)."""
        return getattr(self, _component_field(name))


@dataclass
class Snapshot:
    """The velocity field of the whole grid at one time; arrays indexed [j, i], row 0 at the
    bottom of the model (plot with origin='lower')."""

    number: int                #: k: written to fort.50k (vx) and fort.60k (vy)
    time: float                #: (step - 1) dt, the time the program sums the field at
    step: int                  #: itsnap(k)
    x: np.ndarray              #: element centres along x
    y: np.ndarray              #: element centres along y
    files: tuple               #: (path of vx, path of vy)
    _vx: np.ndarray | None = field(default=None, repr=False)
    _vy: np.ndarray | None = field(default=None, repr=False)

    def _load(self, path: Path) -> np.ndarray:
        try:
            values = read_values(path)
        except ValueError as err:
            raise RunError(f"{err}: the snapshot file is damaged") from None
        nx, ny = len(self.x), len(self.y)
        if values.size != nx * ny:
            raise RunError(f"{path}: holds {values.size} values, expected nx x ny = "
                           f"{nx} x {ny} = {nx * ny}")
        return values.reshape(ny, nx)

    @property
    def vx(self) -> np.ndarray:
        """Horizontal velocity, [j, i]."""
        if self._vx is None:
            self._vx = self._load(self.files[0])
        return self._vx

    @property
    def vy(self) -> np.ndarray:
        """Vertical velocity, [j, i]."""
        if self._vy is None:
            self._vy = self._load(self.files[1])
        return self._vy

    def component(self, name: str) -> np.ndarray:
        """'x' (horizontal) or 'y' (vertical)."""
        return getattr(self, _component_field(name))


@dataclass
class Run:
    """A finished run read from its directory."""

    path: Path
    params: RunParameters
    frequencies: list          #: Frequency per index solved, highest index first (log order)
    regions: list              #: Region rectangles of the material map, in deck order
    traces: Traces
    snapshots: list            #: Snapshot per time snapshot, k = 1 .. nsnapt
    log: RunLog
    deck: dict | None = None   #: the deck inp_A when it is in the directory
    model: dict | None = None  #: model.json when it is in the directory
    time_unit: str = DEFAULT_TIME  #: time unit of the run (model.json "units", else ms)
    length_unit: str = DEFAULT_LENGTH

    @property
    def converged(self) -> list:
        """Frequency indices whose iteration converged."""
        return [f.index for f in self.frequencies if f.converged]

    @property
    def not_converged(self) -> list:
        return [f for f in self.frequencies if not f.converged]

    def material_map(self) -> np.ndarray:
        """Material number of every element, [j, i] (row 0 at the bottom); 0 where uncovered."""
        from .grid import material_map
        return material_map(self.params.nx, self.params.ny, self.params.h,
                            [r.__dict__ for r in self.regions])

    def to_obspy(self, component: str = "both"):
        """The traces as an ObsPy Stream (needs ObsPy)."""
        from .export import to_obspy
        return to_obspy(self, component)


def snapshot_file(component: int, k: int, count: int) -> str:
    """Name of the file of snapshot k of `count` for component 1 (horizontal) or 2 (vertical):
    fort.5 or fort.6 and k zero-padded to the digits of `count`, at least two (fort.501 ..
    fort.599 up to 99 snapshots, fort.5001 .. from 100 on)."""
    width = max(2, len(str(count)))
    return f"fort.{5 if component == 1 else 6}{k:0{width}d}"


def _refine(logged: float | None, exact: float | None) -> float | None:
    """The exact value where it agrees with the log's rounded one, else the logged value."""
    if exact is None or logged is None or not math.isfinite(exact):
        return logged
    if logged == 0:
        return logged if exact != 0 else exact
    return exact if abs(exact - logged) <= 1e-6 * abs(logged) else logged


def _exact_parameters(log: RunLog, deck: dict | None):
    """h, dt, delf from the deck's values and the log's full-precision velocities."""
    h = dt = delf = None
    if deck is not None and log.nx and log.ny:
        qx, qy = deck["xsize"] / log.nx, deck["ysize"] / log.ny
        h = qy if qy < qx else qx
        if deck["npf"] >= 1:
            delf = deck["f4"] / deck["npf"]
    p = [v for (kind, _), v in log.velocities.items() if kind in ("vp", "vph", "vpv")]
    p = [v for v in p if math.isfinite(v)]
    h_used = _refine(log.h, h)
    if p and h_used:
        dt = h_used / max(p)
    return h_used, _refine(log.dt, dt), _refine(log.delf, delf)


def _velocity_range(log: RunLog, kinds, rounded):
    """(smallest, largest) of the echoed velocities of `kinds` (full precision), else the log's
    rounded extremes."""
    v = [x for (kind, _), x in log.velocities.items() if kind in kinds and math.isfinite(x)]
    return (min(v), max(v)) if v else rounded


def readable_log(path) -> RunLog:
    """The log of a run directory; a log whose echoed numbers cannot be read raises RunError."""
    path = Path(path)
    try:
        return read_log(path)
    except ValueError as err:
        raise RunError(f"{path / 'output'}: the log is damaged: {err}") from None


def _required(log: RunLog, path: Path, names) -> None:
    missing = [n for n in names if getattr(log, n) is None]
    if missing:
        raise RunError(f"{path}: the log 'output' lacks {', '.join(missing)}; "
                       f"{log.ending()}")


def read_run(path) -> Run:
    """Reads a finished run: the log `output`, the deck (when present), traces and snapshots.

    Raises RunError naming what is missing when the run did not finish or files are absent.
    """
    path = Path(path)
    if not path.is_dir():
        raise RunError(f"{path}: no such run directory")
    if not (path / "output").is_file():
        hint = " (the deck inp_A is there: run stripwave in it)" if (path / "inp_A").is_file() \
            else ""
        if (path / "survey.txt").is_file():
            hint = " (a survey: read it with read_survey, or a shot directory with read_run)"
        raise RunError(f"{path}: no log file 'output': nothing has run here{hint}")
    log = readable_log(path)
    if not log.finished:
        raise RunError(f"{path}: incomplete run: {log.ending()}")
    _required(log, path, ("nx", "ny", "h", "dt", "nt", "nsnapt", "nrec", "xsou", "ysou",
                          "delf", "jw1", "jw2", "jwlow", "band", "npf", "key", "freq", "stime",
                          "maxiter", "maxlow", "reduc", "nmat", "kdel", "jsou", "ksou"))
    if not (log.nx >= 1 and log.ny >= 1 and log.h > 0 and log.dt > 0 and log.nt >= 0
            and log.nrec >= 0 and log.nsnapt >= 0):
        raise RunError(f"{path}: the log 'output' is damaged: nx = {log.nx}, ny = {log.ny}, "
                       f"h = {log.h:g}, dt = {log.dt:g}, nt = {log.nt}, nrec = {log.nrec}, "
                       f"nsnapt = {log.nsnapt}")

    deck = None
    if (path / "inp_A").is_file():
        try:
            deck = read_deck(path / "inp_A")
        except DeckError:
            deck = None  # the log holds everything needed; a deck edited since is ignored
    model = None
    if (path / "model.json").is_file():
        try:
            model = json.loads((path / "model.json").read_text(encoding="utf-8"))
        except (OSError, ValueError, RecursionError):
            model = None  # the run is read without it

    h, dt, delf = _exact_parameters(log, deck)
    nx, ny, nrec = log.nx, log.ny, log.nrec
    xsou, ysou = log.xsou, log.ysou
    if deck is not None:
        xsou, ysou = _refine(log.xsou, deck["xsou"]), _refine(log.ysou, deck["ysou"])

    snap_files = []
    for k in range(1, log.nsnapt + 1):
        snap_files.append((path / snapshot_file(1, k, log.nsnapt),
                           path / snapshot_file(2, k, log.nsnapt)))
    wanted = [p for pair in snap_files for p in pair]
    if nrec >= 1:
        wanted += [path / "fort.60", path / "fort.70"]
    missing = sorted(p.name for p in wanted if not p.is_file())
    if missing:
        raise RunError(f"{path}: missing output files: {', '.join(missing)} "
                       f"(the log reports {nrec} receivers and {log.nsnapt} snapshots)")

    nt = log.nt
    traces = []
    for name in ("fort.60", "fort.70"):
        try:
            values = read_values(path / name) if nrec >= 1 else np.zeros(0)
        except ValueError as err:
            raise RunError(f"{err}: the trace file is damaged") from None
        if values.size != nrec * nt:
            raise RunError(f"{path / name}: holds {values.size} values, expected "
                           f"{nrec} receivers x {nt} samples = {nrec * nt}")
        traces.append(values.reshape(nrec, nt))
    rx, ry = log.receivers
    t = np.arange(nt) * dt
    tr = Traces(traces[0], traces[1], t, np.asarray(rx, float), np.asarray(ry, float),
                xsou, ysou)

    x = (np.arange(nx) + 0.5) * h
    y = (np.arange(ny) + 0.5) * h
    snapshots = [Snapshot(k, (step - 1) * dt, step, x, y, files)
                 for k, (step, files) in enumerate(zip(log.itsnap, snap_files), 1)]

    params = RunParameters(
        nx=nx, ny=ny, h=h, xsize=nx * h, ysize=ny * h, dt=dt, nt=nt, stime=log.stime,
        key=log.key, freq=log.freq, band=log.band, npf=log.npf, delf=delf,
        delw=2 * math.pi * delf if delf else log.delw, jw1=log.jw1, jw2=log.jw2,
        maxiter=log.maxiter, maxlow=log.maxlow, jwlow=log.jwlow, reduc=log.reduc,
        nmat=log.nmat, kdel=log.kdel, xsou=xsou, ysou=ysou, jsou=log.jsou, ksou=log.ksou,
        nrec=nrec, vp_range=_velocity_range(log, ("vp", "vph", "vpv"), log.vp_range),
        vs_range=_velocity_range(log, ("vs", "vsh"), log.vs_range), cpu_time=log.cpu_time)

    regions = log.regions
    if deck is not None and len(deck["regions"]) == len(log.regions):
        regions = [Region(r["xi"], r["xf"], r["yi"], r["yf"], r["material"],
                          g.ixi, g.ixf, g.iyi, g.iyf) for r, g in zip(deck["regions"], log.regions)]

    length_unit, time_unit = model_units(model)
    return Run(path=path, params=params, frequencies=list(log.frequencies), regions=regions,
               traces=tr, snapshots=snapshots, log=log, deck=deck, model=model,
               time_unit=time_unit, length_unit=length_unit)


__all__ = ["Frequency", "Region", "Run", "RunError", "RunParameters", "Snapshot", "Traces",
           "read_run"]
