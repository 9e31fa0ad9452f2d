"""Traces in the formats other tools read: SEG-Y and SU (through segyio), .npz, ObsPy.

SEG-Y keeps the sample interval as a whole number of microseconds in 16 bits.  The run's
dt = h / (largest velocity) is rarely whole: the header gets the nearest whole value, the exact dt
goes into the textual header, and `SampleInterval.describe` says how far the header is from it.
`resample_us` instead resamples the traces onto an exact whole interval.  The traces are sums of
cosines and sines at the run's frequencies (j - 1/2) delf, so they are resampled by fitting those
terms to the samples and evaluating them at the new times: band-limited and exact up to the
four digits the trace files hold.

Trace headers (both SEG-Y and SU): TRACE_SEQUENCE_LINE/FILE and TraceNumber = receiver number;
FieldRecord = EnergySourcePoint = 1; SourceX / GroupX = model x and SourceY = GroupY = 0 (a 2-D
line along x), with CoordinateUnits 1 (length) and SourceGroupScalar; the model's y axis (up from
the bottom) goes into the elevations: the surface is the model top, so SourceSurfaceElevation =
the model top and SourceDepth = its depth below it (the source's elevation is their difference,
its y), ReceiverGroupElevation = receiver y, datum elevations = the model top, with
ElevationScalar; offset = receiver x - source x; TraceIdentificationCode 14 (in-line
horizontal) for vx and 12 (vertical) for vy; TRACE_SAMPLE_COUNT and TRACE_SAMPLE_INTERVAL.
"""

from __future__ import annotations

import math
import os
import tempfile
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import segyio
from segyio import TraceField as TF

from .units import TIME_UNITS

#: The largest value a 2-byte header field holds as segyio writes and reads it (signed).
MAX_HEADER_SHORT = 32767
#: Trace identification codes of SEG-Y rev 1 for multicomponent data.
TRACE_ID = {"x": 14, "y": 12}
COMPONENT_NAME = {"x": "horizontal particle velocity (fort.60), positive along x",
                  "y": "vertical particle velocity (fort.70), positive up"}


class ExportError(ValueError):
    """Traces that cannot be written in the format asked for."""


@dataclass(frozen=True)
class SampleInterval:
    """The run's sample interval against the whole microseconds a SEG-Y header holds."""

    dt: float            #: the run's dt in its own time unit
    time_unit: str
    header_us: int       #: the value written to the headers
    resampled: bool      #: the traces were resampled onto header_us
    f4: float = 0.0      #: highest frequency of the band, in the run's unit

    @property
    def exact_us(self) -> float:
        return self.dt * TIME_UNITS[self.time_unit] * 1e6

    @property
    def error_us(self) -> float:
        """Header value minus the exact interval (0 after resampling)."""
        return 0.0 if self.resampled else self.header_us - self.exact_us

    def describe(self, nt: int) -> str:
        """What the terminal is told about the interval."""
        unit = self.time_unit
        head = f"dt = {self.dt:.10g} {unit} = {self.exact_us:.10g} us"
        if self.resampled:
            return (f"{head}; resampled to the whole interval {self.header_us} us "
                    f"({nt} samples)")
        if self.error_us == 0:
            return f"{head}: a whole number of microseconds, held exactly by the headers"
        drift = self.error_us * (nt - 1) / 1e6 / TIME_UNITS[unit]
        return (f"{head}; the headers hold whole microseconds: {self.header_us} us, "
                f"{abs(self.error_us):.6g} us ({abs(self.error_us) / self.exact_us * 100:.3g} %) "
                f"{'above' if self.error_us > 0 else 'below'} dt, so by the last sample "
                f"(number {nt}) the header's time axis is {abs(drift):.4g} {unit} "
                f"{'late' if drift > 0 else 'early'}.  The exact dt is in the textual header; "
                f"--resample {self.suggestion} resamples onto a round interval")

    @property
    def suggestion(self) -> int:
        """The round interval (1, 2, 2.5 or 5 times a power of ten microseconds) nearest dt
        whose Nyquist frequency still lies above the band."""
        finest = 1e6 * TIME_UNITS[self.time_unit] / (2.0 * self.f4) if self.f4 > 0 else math.inf
        candidates = [int(m * 10 ** k) for k in range(5) for m in (1, 2, 2.5, 5)
                      if m * 10 ** k <= min(MAX_HEADER_SHORT, finest)
                      and m * 10 ** k == int(m * 10 ** k)]
        return min(candidates or [1], key=lambda c: (abs(c - self.exact_us), c))


def _check_time_unit(time_unit: str) -> str:
    if time_unit not in TIME_UNITS:
        raise ExportError(f"time unit {time_unit!r}: use one of {', '.join(TIME_UNITS)}")
    return time_unit


def sample_interval(run, time_unit: str | None = None, resample_us: int | None = None):
    """The header interval for a run: the nearest whole microsecond, or `resample_us`."""
    unit = _check_time_unit(time_unit or run.time_unit)
    dt = run.params.dt
    if resample_us is not None:
        if not 1 <= resample_us <= MAX_HEADER_SHORT:
            raise ExportError(f"--resample {resample_us}: the interval must be 1 to "
                              f"{MAX_HEADER_SHORT} us")
        f4 = run.params.band[3]
        nyquist = 1.0 / (2.0 * resample_us / 1e6 / TIME_UNITS[unit])
        if nyquist < f4:
            raise ExportError(f"--resample {resample_us}: its Nyquist frequency {nyquist:.6g} "
                              f"lies below the band's f4 = {f4:g}; the traces would alias")
        return SampleInterval(dt, unit, int(resample_us), True, run.params.band[3])
    us = dt * TIME_UNITS[unit] * 1e6
    header = int(round(us))
    if not 1 <= header <= MAX_HEADER_SHORT:
        raise ExportError(
            f"dt = {dt:.10g} {unit} is {us:.6g} us: a SEG-Y header holds 1 to "
            f"{MAX_HEADER_SHORT} us; check the time unit (--time-unit) or resample "
            "(--resample US)")
    return SampleInterval(dt, unit, header, False, run.params.band[3])


def resample(data: np.ndarray, t: np.ndarray, new_t: np.ndarray, delf: float,
             jw2: int) -> np.ndarray:
    """Traces [receiver, sample] at times `t` re-evaluated at `new_t` from their terms at the
    run's frequencies (j - 1/2) delf, j = 1 .. jw2, fitted by least squares."""
    omega = (np.arange(jw2) + 0.5) * (2.0 * math.pi * delf)

    def basis(times):
        phase = np.outer(times, omega)
        return np.hstack([np.cos(phase), np.sin(phase)])

    coef, *_ = np.linalg.lstsq(basis(t), np.asarray(data, float).T, rcond=None)
    return (basis(new_t) @ coef).T


def export_traces(run, component: str, interval: SampleInterval):
    """(data [receiver, sample], sample times in the run's unit) as they are written."""
    data = run.traces.component(component)
    t = run.traces.t
    if interval.resampled:
        step = interval.header_us / 1e6 / TIME_UNITS[interval.time_unit]
        n = int(math.floor(t[-1] / step + 1e-9)) + 1 if t.size else 0
        if n > MAX_HEADER_SHORT:
            raise ExportError(f"{n} samples per trace: more than the {MAX_HEADER_SHORT} a "
                              "trace header's 16-bit sample count holds; use a coarser "
                              "--resample")
        new_t = np.arange(n) * step
        data = resample(data, t, new_t, run.params.delf, run.params.jw2)
        t = new_t
    return data, t


def _scalar(values) -> int:
    """The SEG-Y scalar (negative: divide by) keeping the most decimals that fit in 32 bits."""
    biggest = max([abs(v) for v in values] + [0.0])
    for divisor in (1000, 100, 10):
        if biggest * divisor < 2 ** 31 - 1:
            return -divisor
    return 1


def _scaled(value: float, scalar: int) -> int:
    return int(round(value * (-scalar if scalar < 0 else 1.0 / scalar)))


def _ascii(text: str) -> str:
    return text.encode("ascii", "replace").decode("ascii")



# The lines every textual header ends with: how the trace headers are laid out.
_HEADER_LAYOUT = [
    "SourceX, GroupX: model x; SourceY = GroupY = 0 (2-D line along x)",
    "elevations: model y, up from the model bottom; surface = datum = the model top",
    "source: SourceSurfaceElevation = the top, SourceDepth below it; receivers: y",
    "scalars in bytes 69-72 (negative: divide)",
    "offset: receiver x - source x; trace id 14 in-line (vx), 12 vertical (vy)",
]


def _textual_header(lines) -> str:
    """The 3200 characters of a textual header: `lines`, then the layout of the trace
    headers, as 40 card images of 80 characters."""
    lines = [f"C{k:2d} {line}"[:80] for k, line in enumerate(lines + _HEADER_LAYOUT, 1)]
    while len(lines) < 38:
        lines.append(f"C{len(lines) + 1:2d}")
    lines += ["C39 SEG Y REV1", "C40 END TEXTUAL HEADER"]
    return "".join(line.ljust(80) for line in lines)

def _text_header(run, component, interval, nt, fmt) -> str:
    p = run.params
    unit, lu = interval.time_unit, run.length_unit
    lines = [
        f"stripwave run {_ascii(Path(run.path).resolve().name)}",
        f"component: {COMPONENT_NAME[component]}",
        f"{p.nrec} traces of {nt} samples, trace k = receiver k, IEEE float32 ({fmt})",
        f"time unit of the run: {unit} (the program converts no units)",
        f"exact dt: {interval.dt!r} {unit} = {interval.exact_us!r} us",
    ]
    if interval.resampled:
        lines.append(f"resampled to {interval.header_us} us by the run's frequency terms")
    else:
        lines.append(f"header interval {interval.header_us} us = dt rounded, off by "
                     f"{interval.error_us:+.6g} us")
    lines += [
        f"grid {p.nx} x {p.ny} elements of {p.h:g} {lu}; model {p.xsize:g} x {p.ysize:g} {lu}",
        f"source x {p.xsou:g} y {p.ysou:g} {lu} (element {p.jsou}, {p.ksou}), kdel {p.kdel}, "
        f"wavelet key {p.key}, freq {p.freq:g}",
        f"band f1-f4 {' '.join(f'{f:g}' for f in p.band)}; {p.jw2} frequencies, "
        f"{len(run.converged)} converged",
    ]
    return _textual_header(lines)


def _write_gathers(gathers, path: Path, component: str, interval: SampleInterval, endian: str,
                   text) -> int:
    """Writes the gathers [(shot number, run), ...] one after another, the traces of each in
    receiver order; `text(nt, fmt)` is the textual header.  Returns the samples per trace."""
    traces = [(shot, run, *export_traces(run, component, interval)) for shot, run in gathers]
    nts = {data.shape[1] for _, _, data, _ in traces}
    if len(nts) > 1:
        raise ExportError(f"the shots have traces of {', '.join(map(str, sorted(nts)))} samples: "
                          "one file holds traces of one length")
    nt = nts.pop()
    ntraces = sum(data.shape[0] for _, _, data, _ in traces)
    if nt > MAX_HEADER_SHORT:
        raise ExportError(f"{nt} samples per trace: more than the {MAX_HEADER_SHORT} a trace "
                          "header's 16-bit sample count holds; use a coarser --resample")
    if nt < 1 or ntraces < 1:
        where = gathers[0][1].path if len(gathers) == 1 else "the survey"
        raise ExportError(f"{where}: no samples to write ({ntraces} traces of {nt} samples)")
    xs, zs = [], []
    for _, run, _, _ in traces:
        tr = run.traces
        xs += [tr.xsou] + list(tr.rx)
        zs += [tr.ysou] + list(tr.ry) + [run.params.ysize]
    cs, es = _scalar(xs), _scalar(zs)
    layout = segyio.spec()
    layout.format = 5
    layout.iline, layout.xline = 189, 193
    layout.samples = np.arange(nt) * (interval.header_us / 1000.0)
    layout.tracecount = ntraces
    layout.endian = endian
    fmt = "big-endian" if endian == "big" else "little-endian"
    with segyio.create(str(path), layout) as f:
        f.text[0] = text(nt, fmt)
        f.bin.update(hdt=interval.header_us, dto=interval.header_us, hns=nt, nso=nt, format=5,
                     mfeet=1, rev=0x0100, trflag=1, exth=0)
        i = 0
        for shot, run, data, _ in traces:
            p = run.params
            tr = run.traces
            for k in range(data.shape[0]):
                f.header[i] = {
                    TF.TRACE_SEQUENCE_LINE: i + 1, TF.TRACE_SEQUENCE_FILE: i + 1,
                    TF.FieldRecord: shot, TF.TraceNumber: k + 1, TF.EnergySourcePoint: shot,
                    TF.TraceIdentificationCode: TRACE_ID[component],
                    TF.offset: _scaled(tr.rx[k] - tr.xsou, 1),
                    TF.ReceiverGroupElevation: _scaled(tr.ry[k], es),
                    TF.SourceSurfaceElevation: _scaled(p.ysize, es),
                    TF.SourceDepth: _scaled(p.ysize - tr.ysou, es),
                    TF.ReceiverDatumElevation: _scaled(p.ysize, es),
                    TF.SourceDatumElevation: _scaled(p.ysize, es),
                    TF.ElevationScalar: es, TF.SourceGroupScalar: cs,
                    TF.SourceX: _scaled(tr.xsou, cs), TF.SourceY: 0,
                    TF.GroupX: _scaled(tr.rx[k], cs), TF.GroupY: 0,
                    TF.CoordinateUnits: 1,
                    TF.TRACE_SAMPLE_COUNT: nt, TF.TRACE_SAMPLE_INTERVAL: interval.header_us,
                }
                f.trace[i] = np.asarray(data[k], dtype=np.float32)
                i += 1
    return nt


def _write(run, path: Path, component: str, interval: SampleInterval, endian: str) -> int:
    return _write_gathers([(1, run)], path, component, interval, endian,
                          lambda nt, fmt: _text_header(run, component, interval, nt, fmt))


def _survey_text_header(survey, gathers, component, interval, nt, fmt) -> str:
    first = gathers[0][1]
    p = first.params
    unit, lu = interval.time_unit, first.length_unit
    ntraces = sum(run.params.nrec for _, run in gathers)
    missing = [s.number for s in survey.shots if s.run is None]
    lines = [
        f"stripwave survey {_ascii(Path(survey.path).resolve().name)} "
        f"(shots file {_ascii(survey.shots_file)})",
        f"component: {COMPONENT_NAME[component]}",
        f"{len(gathers)} shot gathers, {ntraces} traces of {nt} samples, IEEE float32 ({fmt})",
        "FieldRecord (FFID) = EnergySourcePoint = shot number; TraceNumber = receiver",
        (f"missing shots (not written): {', '.join(map(str, missing))}" if missing
         else "every shot of the survey is written"),
        f"time unit of the run: {unit} (the program converts no units)",
        f"exact dt: {interval.dt!r} {unit} = {interval.exact_us!r} us",
        (f"resampled to {interval.header_us} us by the run's frequency terms"
         if interval.resampled else
         f"header interval {interval.header_us} us = dt rounded, off by "
         f"{interval.error_us:+.6g} us"),
        f"grid {p.nx} x {p.ny} elements of {p.h:g} {lu}; model {p.xsize:g} x {p.ysize:g} {lu}",
        f"wavelet key {p.key}, freq {p.freq:g}; band f1-f4 {' '.join(f'{f:g}' for f in p.band)}",
    ]
    return _textual_header(lines)


def _survey_gathers(survey):
    gathers = [(s.number, s.run) for s in survey.shots if s.run is not None]
    if not gathers:
        raise ExportError(f"{survey.path}: no shot of the survey was written")
    dts = {run.params.dt for _, run in gathers}
    if len(dts) > 1:
        raise ExportError(f"{survey.path}: the shots have different sample intervals "
                          f"({', '.join(f'{d:g}' for d in sorted(dts))})")
    return gathers


def write_survey_segy(survey, path, component: str = "y", time_unit: str | None = None,
                      resample_us: int | None = None):
    """Writes one component of every written shot of a survey to one SEG-Y rev 1 file (IEEE
    floats, big-endian), the gathers in shot order, FieldRecord (FFID) and EnergySourcePoint
    the shot number, source and receiver coordinates and the sample interval in every trace
    header; returns (SampleInterval, samples per trace)."""
    gathers = _survey_gathers(survey)
    interval = sample_interval(gathers[0][1], time_unit, resample_us)
    nt = _write_gathers(gathers, Path(path), component, interval, "big",
                        lambda n, fmt: _survey_text_header(survey, gathers, component, interval,
                                                           n, fmt))
    return interval, nt


def write_segy(run, path, component: str = "y", time_unit: str | None = None,
               resample_us: int | None = None):
    """Writes one component as SEG-Y rev 1 (IEEE floats, big-endian); returns
    (SampleInterval, samples per trace)."""
    interval = sample_interval(run, time_unit, resample_us)
    nt = _write(run, Path(path), component, interval, "big")
    return interval, nt


def write_su(run, path, component: str = "y", time_unit: str | None = None,
             resample_us: int | None = None):
    """Writes one component as Seismic Unix data: the SEG-Y trace headers and samples,
    little-endian, without the file headers; returns (SampleInterval, samples per trace)."""
    interval = sample_interval(run, time_unit, resample_us)
    nt = _without_file_headers(Path(path), lambda tmp: _write(run, tmp, component, interval,
                                                               "little"))
    return interval, nt


def _without_file_headers(path: Path, write) -> int:
    """Runs write(temporary SEG-Y path) and copies its traces, without the file headers, to
    `path`; returns what write returned."""
    fd, tmp = tempfile.mkstemp(suffix=".sgy", dir=path.parent if path.parent.exists() else None)
    os.close(fd)
    try:
        nt = write(Path(tmp))
        with open(tmp, "rb") as src, open(path, "wb") as dst:
            src.seek(3600)  # textual and binary file headers: SU has none
            dst.write(src.read())
    finally:
        os.unlink(tmp)
    return nt


def write_survey_su(survey, path, component: str = "y", time_unit: str | None = None,
                    resample_us: int | None = None):
    """The survey's gathers as Seismic Unix data (the trace headers of write_survey_segy,
    little-endian, no file headers); returns (SampleInterval, samples per trace)."""
    gathers = _survey_gathers(survey)
    interval = sample_interval(gathers[0][1], time_unit, resample_us)
    nt = _without_file_headers(
        Path(path), lambda tmp: _write_gathers(
            gathers, tmp, component, interval, "little",
            lambda n, fmt: _survey_text_header(survey, gathers, component, interval, n, fmt)))
    return interval, nt


def write_npz(run, path) -> Path:
    """Writes traces, axes, snapshots and the main parameters to a numpy .npz file."""
    p = run.params
    tr = run.traces
    arrays = {
        "vx": tr.vx, "vy": tr.vy, "t": tr.t, "rx": tr.rx, "ry": tr.ry,
        "source": np.array([tr.xsou, tr.ysou]), "dt": np.array(p.dt),
        "x": (np.arange(p.nx) + 0.5) * p.h, "y": (np.arange(p.ny) + 0.5) * p.h,
        "snapshot_times": np.array([s.time for s in run.snapshots]),
        "snapshot_vx": np.array([s.vx for s in run.snapshots]).reshape(-1, p.ny, p.nx),
        "snapshot_vy": np.array([s.vy for s in run.snapshots]).reshape(-1, p.ny, p.nx),
        "frequencies": np.array([f.frequency for f in run.frequencies]),
        "converged": np.array([bool(f.converged) for f in run.frequencies]),
        "time_unit": np.array(run.time_unit), "length_unit": np.array(run.length_unit),
    }
    path = Path(path)
    np.savez_compressed(path, **arrays)
    return path if path.suffix == ".npz" else path.with_name(path.name + ".npz")


def obspy_available() -> bool:
    try:
        import obspy  # noqa: F401
    except ImportError:
        return False
    return True


def to_obspy(run, component: str = "both"):
    """The traces as an ObsPy Stream: one Trace per receiver and component, delta in seconds,
    station R001.., channel VX / VY, receiver coordinates in stats.coordinates."""
    try:
        from obspy import Stream, Trace, UTCDateTime
        from obspy.core.util import AttribDict
    except ImportError:
        raise ExportError("ObsPy is not installed: the Stream export needs it") from None
    comps = ("x", "y") if component == "both" else (component,)
    tr = run.traces
    delta = run.params.dt * TIME_UNITS[run.time_unit]
    stream = Stream()
    for c in comps:
        data = tr.component(c)
        for k in range(data.shape[0]):
            t = Trace(data=np.ascontiguousarray(data[k], dtype=np.float64))
            t.stats.network = "SW"
            t.stats.station = f"R{k + 1:03d}"
            t.stats.channel = f"V{c.upper()}"
            t.stats.delta = delta
            t.stats.starttime = UTCDateTime(0)
            t.stats.coordinates = AttribDict({"x": float(tr.rx[k]), "y": float(tr.ry[k]),
                                              "source_x": tr.xsou, "source_y": tr.ysou})
            stream.append(t)
    return stream
