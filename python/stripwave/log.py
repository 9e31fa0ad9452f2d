"""The run log `output`: the echoed and derived run parameters and the per-frequency progress.

`parse_log` reads whatever the log holds, also from a run that stopped early; `RunLog.missing`
and `RunLog.ending` say what is absent and where the log ends.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path

from . import limits
from .numbers import REAL, parse_real

_INT = r"([-+]?\d+)"
_NUM = f"({REAL})"


@dataclass
class Frequency:
    """One frequency of the band as the log reports it."""

    index: int                        #: frequency index jw (1 .. jw2)
    frequency: float                  #: (jw - 0.5) delf
    source: complex | None = None     #: filtered source spectrum at this index (5 digits)
    converged: bool | None = None     #: None when the log ends before its verdict
    iterations: int | None = None     #: passes run
    relative_change: float | None = None  #: last relative change of the edge fields
    residual: float | None = None     #: relative residual of a direct solve (no passes)


@dataclass
class Region:
    """A rectangle of the material map, as echoed (model units) with its element range."""

    xi: float
    xf: float
    yi: float
    yf: float
    material: int
    ixi: int | None = None
    ixf: int | None = None
    iyi: int | None = None
    iyf: int | None = None


@dataclass
class RunLog:
    """Everything read from a log; a field is None when the log does not reach it."""

    text: str = ""
    nx: int | None = None
    ny: int | None = None
    h: float | None = None
    xsize: float | None = None        #: rounded domain size along x (nx h)
    ysize: float | None = None
    maxlow: int | None = None
    perclow: float | None = None
    nsnapf: int | None = None
    nsnapt: int | None = None
    npf: int | None = None
    key: int | None = None
    freq: float | None = None
    stime: float | None = None
    band: tuple | None = None         #: (f1, f2, f3, f4)
    maxiter: int | None = None
    reduc: float | None = None
    nmat: int | None = None
    velocities: dict = field(default_factory=dict)  #: (kind, material) -> velocity
    vp_range: tuple | None = None     #: (smallest, largest) P velocity
    vs_range: tuple | None = None
    points_per_wavelength: int | None = None
    dt: float | None = None
    nt: int | None = None             #: number of time samples (raised by a type-2 pulse)
    pulse_length: int | None = None   #: samples of a type-2 pulse
    kdel: int | None = None
    tmute: float | None = None
    jsou: int | None = None
    ksou: int | None = None
    xsou: float | None = None
    ysou: float | None = None
    nrec: int | None = None
    receiver_line: tuple | None = None  #: (xinic, yinic, deltarecx, deltarecy)
    irx: list = field(default_factory=list)
    iry: list = field(default_factory=list)
    rx_echo: list = field(default_factory=list)   #: receiver positions as echoed (8 digits)
    ry_echo: list = field(default_factory=list)
    receiver_warnings: list = field(default_factory=list)
    fnyq: float | None = None
    delf: float | None = None
    delw: float | None = None
    jfsnap: list = field(default_factory=list)
    itsnap: list = field(default_factory=list)
    band_indices: tuple | None = None  #: (if1, if2, if3, if4)
    jw1: int | None = None
    jw2: int | None = None
    jwlow: int | None = None
    regions: list = field(default_factory=list)
    region_error: str | None = None
    input_error: str | None = None
    source_error: str | None = None
    failure: str | None = None        #: the last line of a run that failed (the direct solver's
    #: failures, memory running out) or was interrupted, as the program ends its log
    frequencies: list = field(default_factory=list)  #: in log order (highest index first)
    cpu_time: float | None = None     #: the tiempo= line: the run finished

    @property
    def finished(self) -> bool:
        return self.cpu_time is not None

    @property
    def snapshot_times(self) -> list:
        """Times of the time-domain snapshots: (itsnap - 1) dt, as the program sums them."""
        if self.dt is None:
            return []
        return [(k - 1) * self.dt for k in self.itsnap]

    @property
    def receivers(self):
        """Receiver positions (rx, ry) as the program computes them from the line and spacing."""
        if self.receiver_line is None or not self.nrec or self.nrec < 2:
            return list(self.rx_echo), list(self.ry_echo)
        x0, y0, dx, dy = self.receiver_line
        rx = [(i - 1) * dx + x0 for i in range(1, self.nrec + 1)]
        ry = [(i - 1) * dy + y0 for i in range(1, self.nrec + 1)]
        return rx, ry

    def ending(self) -> str:
        """Where the log ends, in words, for a run that did not finish."""
        if self.finished:
            return "the run finished"
        if self.input_error:
            return f"the run stopped on an input error: {self.input_error}"
        if self.source_error:
            return f"the run stopped: source element outside the grid ({self.source_error})"
        if self.failure:
            if self.failure.startswith("interrupted by "):
                return f"the run was {self.failure}"
            return f"the run failed: {self.failure}"
        if self.region_error:
            return f"the run stopped on a bad material region: {self.region_error}"
        if self.frequencies:
            last = self.frequencies[-1]
            return (f"the log ends at frequency index {last.index} of {self.jw2} "
                    "(no 'tiempo=' line): the run stopped or is still running")
        if self.pulse_length is not None and self.pulse_length > limits.SAMPLES:
            return (f"the run stopped: the type-2 pulse is {self.pulse_length} samples long, "
                    f"above the limit {limits.SAMPLES}")
        if self.nt is not None and self.nt > limits.SAMPLES:
            return (f"the run stopped: nt = {self.nt} time samples, above the limit "
                    f"{limits.SAMPLES}")
        if (self.fnyq is not None and self.band is not None and self.band[3] > self.fnyq):
            return (f"the run stopped: f4 = {self.band[3]:g} is above the Nyquist frequency "
                    f"{self.fnyq:g}")
        if self.nrec is not None and self.nrec < 2:
            return f"the run stopped: nrec = {self.nrec}, fewer than 2 receivers"
        if not self.text.strip():
            return "the log is empty: the run has not started or is still running"
        last = [ln.strip() for ln in self.text.splitlines() if ln.strip()][-1]
        return f"the log ends before the frequency loop, after the line {last!r}"


def _search(pattern: str, text: str, cast=None, flags=0):
    m = re.search(pattern, text, flags)
    if not m:
        return None
    if cast is None:
        return m
    return cast(m.group(1))


def _words(s: str) -> str:
    return " ".join(s.split())


def _real(s: str) -> float:
    return parse_real(s)


def _fixed_ints(text: str, width: int) -> list:
    """Integers in consecutive fields of `width` columns (i5 fields may touch)."""
    text = text.rstrip()
    out = []
    for k in range(0, len(text), width):
        piece = text[k:k + width].strip()
        if piece:
            out.append(int(piece) if not piece.startswith("*") else None)
    return out


def parse_log(text: str) -> RunLog:
    """Reads the run log text; fields the log does not reach stay None."""
    log = RunLog(text=text)
    s = text
    log.nx = _search(r"in x-direction nx =\s*" + _INT, s, int)
    log.ny = _search(r"in y-direction ny =\s*" + _INT, s, int)
    m = _search(r"maxlow \(max\.iter\. in low freq range \) =\s*" + _INT
                + r" perclow .*?=\s*" + _NUM, s)
    if m:
        log.maxlow, log.perclow = int(m.group(1)), _real(m.group(2))
    log.xsize = _search(r"rounded xsize =\s*" + _NUM, s, _real)
    log.ysize = _search(r"rounded ysize =\s*" + _NUM, s, _real)
    log.h = _search(r"mesh size h=\s*" + _NUM, s, _real)
    log.nsnapf = _search(r"number of snapshots in freq\. domain=\s*" + _INT, s, int)
    log.nsnapt = _search(r"number of snapshots in time domain=\s*" + _INT, s, int)
    log.npf = _search(r"npf  =\s*" + _INT, s, int)
    log.key = _search(r"\(gaussian derivative\)\s*;\s*" + _INT, s, int)
    log.freq = _search(r"frequency  freq=\s*" + _NUM, s, _real)
    log.stime = _search(r"stime =\s*" + _NUM, s, _real)
    corners = [_search(rf"\bf{k}  =\s*" + _NUM, s, _real) for k in (1, 2, 3, 4)]
    if None not in corners:
        log.band = tuple(corners)
    log.maxiter = _search(r"maxiter =  max\. # inner iterations\s*" + _INT, s, int)
    log.reduc = _search(r"reduc =  relative error required\s*" + _NUM, s, _real)
    log.nmat = _search(r"number of materials \(nmat\) =\s*" + _INT, s, int)

    for kind, pattern in (("vp", r"material isotropo No y velocidad P ="),
                          ("vs", r"material isotropo No y velocidad S ="),
                          ("vph", r"mat\. anisot\. No y velocidad P horiz\. ="),
                          ("vpv", r"mat\. anisot\. No y velocidad P vert\. ="),
                          ("vsh", r"mat\. anisot\. No y velocidad SV horiz\. =")):
        for m in re.finditer(pattern + r"\s*" + _INT + r"\s+" + _NUM, s):
            log.velocities[(kind, int(m.group(1)))] = _real(m.group(2))
    lo = _search(r"minimum  phase pp velocity\s*=\s*" + _NUM, s, _real)
    hi = _search(r"maximum  phase pp velocity\s*=\s*" + _NUM, s, _real)
    if lo is not None and hi is not None:
        log.vp_range = (lo, hi)
    lo = _search(r"minimum  phase ss velocity\s*=\s*" + _NUM, s, _real)
    hi = _search(r"maximum  phase ss velocity\s*=\s*" + _NUM, s, _real)
    if lo is not None and hi is not None:
        log.vs_range = (lo, hi)
    log.points_per_wavelength = _search(r"Points per wavelenght\s*=\s*" + _INT, s, int)
    log.dt = _search(r"time step  dt =\s*" + _NUM, s, _real)
    log.nt = _search(r"number of time steps  nt =\s*" + _INT, s, int)

    log.kdel = _search(r"d/dx\(delta\)\. kdel =\s*" + _INT, s, int)
    log.tmute = _search(r"tmute =\s*" + _NUM, s, _real)
    log.source_error = _search(r"(wrong [jk]sou =\s*[-+]?\d+)", s, _words)
    m = _search(r"jsou =\s*" + _INT + r"\s+ksou =\s*" + _INT, s)
    if m:
        log.jsou, log.ksou = int(m.group(1)), int(m.group(2))
    m = _search(r"xsou =\s*" + _NUM + r" m ysou =\s*" + _NUM, s)
    if m:
        log.xsou, log.ysou = _real(m.group(1)), _real(m.group(2))
    log.nrec = _search(r"number of receivers, nrec =\s*" + _INT, s, int)
    line = [_search(rf"^\s*{k}\s+" + _NUM, s, _real, re.M)
            for k in ("xinic", "yinic", "deltarecx", "deltarecy")]
    if None not in line:
        log.receiver_line = tuple(line)
    for m in re.finditer(r"receiver i =\s*\d+\s{3}irx & iry = (.{1,10})\n.*?rx\(i\) & ry\(i\) = (.*)",
                         s):
        ints = _fixed_ints(m.group(1), 5)
        log.irx.append(ints[0])
        log.iry.append(ints[1] if len(ints) > 1 else None)
        values = m.group(2)
        log.rx_echo.append(parse_real(values[0:15]))
        log.ry_echo.append(parse_real(values[15:30]))
    log.receiver_warnings = [ln.strip() for ln in s.splitlines()
                             if re.search(r"(irx\(i\)  =|iry\(i\)  =)", ln)]

    log.fnyq = _search(r"nyquist frequency =\s*" + _NUM, s, _real)
    log.delf = _search(r"delf =\s*" + _NUM, s, _real)
    log.delw = _search(r"delw =\s*" + _NUM, s, _real)
    log.jfsnap = [int(m.group(2)) for m in re.finditer(
        r"freq\. indices for snapshots\s*\n\s*" + _INT + r"\s+" + _INT, s)]
    log.itsnap = [int(m.group(2)) for m in re.finditer(
        r"time steps for snapshots\s*\n\s*" + _INT + r"\s+" + _INT, s)]
    m = _search(r"if1 if2 if3 if4 =(.*)", s)
    if m:
        log.band_indices = tuple(_fixed_ints(m.group(1), 6))
    m = _search(r"jw1 - jw2 - jwlow\s*" + _INT + r"\s+" + _INT + r"\s+" + _INT, s)
    if m:
        log.jw1, log.jw2, log.jwlow = (int(g) for g in m.groups())
    pulses = re.findall(r"pulse length in samples\s*" + _INT, s)
    if log.key == 2 and pulses:
        log.pulse_length = int(pulses[0])
        if len(pulses) >= 2 and log.nt is not None and log.pulse_length <= limits.SAMPLES:
            log.nt = max(log.nt, log.pulse_length)

    for m in re.finditer(r"from  xi\s*=\s*" + _NUM + r" m\s*\n\s*up to xf\s*=\s*" + _NUM
                         + r" m\s*\n\s*from  yi\s*=\s*" + _NUM + r" m\s*\n\s*up to yf\s*=\s*"
                         + _NUM + r" m\s*\n\s*material type number  numat  =\s*" + _INT
                         + r"(?:\s*\n\s*from  ixi \(x-global grid #\)\s*=\s*" + _INT
                         + r"\s*\n\s*up to ixf \(x-global grid #\)\s*=\s*" + _INT
                         + r"\s*\n\s*from  iyi \(y-global grid #\)\s*=\s*" + _INT
                         + r"\s*\n\s*up to yf  \(y-global grid #\)\s*=\s*" + _INT + r")?", s):
        xi, xf, yi, yf = (_real(m.group(k)) for k in (1, 2, 3, 4))
        if xi < 0:
            continue
        reg = Region(xi, xf, yi, yf, int(m.group(5)))
        if m.group(6) is not None:
            reg.ixi, reg.ixf, reg.iyi, reg.iyf = (int(m.group(k)) for k in (6, 7, 8, 9))
        log.regions.append(reg)
    log.region_error = _search(r"(wrong material (?:description|number)\s+\w+\s*=\s*[-+]?\d+)",
                               s, _words)
    log.input_error = _search(r"input error: (.*)", s, lambda g: g.strip())

    _parse_frequencies(s, log)
    log.cpu_time = _search(r"tiempo=\s*" + _NUM, s, _real)
    lines = [ln.strip() for ln in s.splitlines() if ln.strip()]
    if lines and log.cpu_time is None and _FAILURE.match(lines[-1]):
        log.failure = lines[-1]
    return log


#: The last line of a log whose run failed or was interrupted: the direct solver's failures
#: (a singular matrix, memory or workspace, any other of MUMPS's), memory running out, a signal.
_FAILURE = re.compile(r"(not enough memory|the direct solver|the whole-grid matrix is "
                      r"(structurally|numerically) singular|interrupted by )")


def _parse_frequencies(s: str, log: RunLog) -> None:
    by_index: dict = {}
    pattern = re.compile(
        r"frequency number\s*" + _INT + r" frequency :\s*" + _NUM
        + r"|jw  real sour, imag sour =\s*" + _INT + r"\s+" + _NUM + r"\s+" + _NUM
        + r"|(NO )?convergence  for freq\. #\s*" + _INT
        + r" (?:achieved in|after)\s*" + _INT + r" inner iterations\s*\n\s*relative error value"
        + r"(?: reduction)? =\s*" + _NUM
        + r"|direct solve  for freq\. #\s*" + _INT + r" relative residual =\s*" + _NUM)
    for m in pattern.finditer(s):
        if m.group(1) is not None:
            f = Frequency(int(m.group(1)), _real(m.group(2)))
            by_index[f.index] = f
            log.frequencies.append(f)
        elif m.group(3) is not None:
            f = by_index.get(int(m.group(3)))
            if f is not None:
                f.source = complex(_real(m.group(4)), _real(m.group(5)))
        elif m.group(10) is not None:
            f = by_index.get(int(m.group(10)))
            if f is not None:
                f.converged, f.iterations, f.residual = True, 0, _real(m.group(11))
        else:
            f = by_index.get(int(m.group(7)))
            if f is not None:
                f.converged = m.group(6) is None
                f.iterations = int(m.group(8))
                f.relative_change = _real(m.group(9))


def read_log(path) -> RunLog:
    """Reads the log file `output` of a run directory (or the file itself)."""
    p = Path(path)
    if p.is_dir():
        p = p / "output"
    return parse_log(p.read_text(encoding="ascii", errors="replace"))
