"""Pictures of runs and models with matplotlib: snapshots, gathers (image and wiggles), models.

Every figure is a matplotlib Figure (no pyplot state), with axes in model units, colour bars and
the snapshot time in the title; `render_run` writes the whole set for a run directory.
"""

from __future__ import annotations

from pathlib import Path

import numpy as np
from matplotlib.collections import LineCollection
from matplotlib.figure import Figure

from .grid import element_size, material_map
from .materials import vti_stiffness

_COMPONENT = {"x": "horizontal", "y": "vertical"}
_SOURCE_STYLE = dict(marker="*", s=220, c="gold", edgecolors="black", linewidths=0.8, zorder=5)
_RECEIVER_STYLE = dict(marker="v", s=22, c="black", zorder=5)


def _figure(width=8.0, height=6.0) -> Figure:
    return Figure(figsize=(width, height), layout="constrained")


def _outline_segments(mat: np.ndarray, h: float) -> np.ndarray:
    """Element edges between different materials, as line segments in model units."""
    segs = []
    jj, ii = np.nonzero(mat[:, 1:] != mat[:, :-1])  # vertical edges
    for j, i in zip(jj, ii):
        x = (i + 1) * h
        segs.append(((x, j * h), (x, (j + 1) * h)))
    jj, ii = np.nonzero(mat[1:, :] != mat[:-1, :])  # horizontal edges
    for j, i in zip(jj, ii):
        y = (j + 1) * h
        segs.append(((i * h, y), ((i + 1) * h, y)))
    return np.array(segs).reshape(-1, 2, 2)


def _draw_outlines(ax, mat, h, color="0.25"):
    segs = _outline_segments(mat, h)
    if len(segs):
        ax.add_collection(LineCollection(segs, colors=color, linewidths=0.8, zorder=4,
                                         label="material boundaries"))


def _draw_marks(ax, xs, ys, rx, ry):
    ax.scatter(rx, ry, label="receivers", **_RECEIVER_STYLE)
    ax.scatter([xs], [ys], label="source", **_SOURCE_STYLE)


def _symmetric_limit(data: np.ndarray, clip: float) -> float:
    finite = np.abs(data[np.isfinite(data)])
    peak = float(finite.max()) if finite.size else 0.0
    return peak * clip if peak > 0 else 1.0


def _label_axes(ax, unit):
    ax.set_xlabel(f"x ({unit})")
    ax.set_ylabel(f"y ({unit}, up)")
    ax.set_aspect("equal")


def snapshot_panel(ax, run, snapshot, component="y", clip=1.0):
    """Draws one component of a snapshot on `ax`; returns the image (for a colour bar)."""
    p = run.params
    data = snapshot.component(component)
    vmax = _symmetric_limit(data, clip)
    im = ax.imshow(data, origin="lower", extent=(0, p.xsize, 0, p.ysize), cmap="seismic",
                   vmin=-vmax, vmax=vmax, interpolation="nearest")
    _draw_outlines(ax, run.material_map(), p.h)
    _draw_marks(ax, p.xsou, p.ysou, run.traces.rx, run.traces.ry)
    ax.set_xlim(0, p.xsize)
    ax.set_ylim(0, p.ysize)
    _label_axes(ax, run.length_unit)
    ax.set_title(f"{_COMPONENT[component]} velocity at t = {snapshot.time:.4g} {run.time_unit}")
    return im


def plot_snapshot(run, snapshot, components=("x", "y"), clip=1.0) -> Figure:
    """A figure of a snapshot: one panel per component, each with its colour bar."""
    p = run.params
    aspect = p.ysize / p.xsize
    n = len(components)
    fig = _figure(6.5 * n, max(3.5, 5.5 * aspect + 1.2))
    axes = fig.subplots(1, n, squeeze=False)[0]
    for ax, c in zip(axes, components):
        im = snapshot_panel(ax, run, snapshot, c, clip)
        fig.colorbar(im, ax=ax, shrink=0.85, label=f"{_COMPONENT[c]} particle velocity")
    axes[0].legend(loc="lower left", fontsize=8, framealpha=0.8)
    fig.suptitle(f"{run.path.name or run.path}: snapshot {snapshot.number} (time step "
                 f"{snapshot.step}, t = {snapshot.time:.4g} {run.time_unit})")
    return fig


def apply_gain(data: np.ndarray, t: np.ndarray, power: float | None = None,
               agc: float | None = None) -> np.ndarray:
    """Traces [receiver, sample] scaled by t**power and/or automatic gain control over a window
    of `agc` time units (each sample divided by the RMS of its window)."""
    out = np.array(data, dtype=float)
    if power:
        out = out * np.abs(t)[None, :] ** power
    if agc:
        dt = t[1] - t[0]
        n = max(1, int(round(agc / dt)))
        kernel = np.ones(n) / n
        for k in range(out.shape[0]):
            rms = np.sqrt(np.convolve(out[k] ** 2, kernel, mode="same"))
            floor = rms.max() * 1e-2 if rms.max() > 0 else 1.0  # leave silent parts silent
            out[k] = out[k] / np.maximum(rms, floor)
    return out


def _receiver_axis(run):
    """Coordinate that varies along the receiver line, with its label."""
    tr = run.traces
    if np.ptp(tr.rx) >= np.ptp(tr.ry):
        return tr.rx, f"receiver x ({run.length_unit})", tr.xsou
    return tr.ry, f"receiver y ({run.length_unit}, up)", tr.ysou


def _gain_text(power, agc, unit):
    parts = []
    if power:
        parts.append(f"gain t^{power:g}")
    if agc:
        parts.append(f"AGC {agc:g} {unit}")
    return f" ({', '.join(parts)})" if parts else ""


def wavelet_peak_time(run) -> float:
    """Time of the largest swing of the run's filtered source wavelet: the delay of a direct
    arrival's largest swing after distance / velocity."""
    from .source import frequencies, source_spectrum, synthesise
    p = run.params
    sour = source_spectrum(p.key, p.freq, p.dt, int(p.stime / p.dt), p.band, p.npf)
    t = run.traces.t
    w = synthesise(sour, frequencies(p.delf, sour.size), t)
    return float(t[np.argmax(np.abs(w))]) if t.size else 0.0


def plot_gather(run, component="y", kind="image", power=None, agc=None, clip=1.0,
                moveout=()) -> Figure:
    """A receiver gather: time down, receivers across; `kind` 'image' or 'wiggle'.

    `moveout` lists velocities v whose direct-arrival curves, distance / v plus the wavelet's
    peak time, are drawn dashed: they run through the largest swing of a direct arrival.
    """
    tr = run.traces
    data = apply_gain(tr.component(component), tr.t, power, agc)
    pos, label, _ = _receiver_axis(run)
    fig = _figure(9, 7)
    ax = fig.subplots()
    t_end = tr.t[-1] if tr.t.size else 1.0
    spacing = float(np.median(np.abs(np.diff(pos)))) if pos.size > 1 else 1.0
    spacing = spacing or 1.0
    if kind == "image":
        vmax = _symmetric_limit(data, clip)
        order = np.argsort(pos)
        im = ax.imshow(data[order].T, aspect="auto", cmap="seismic", vmin=-vmax, vmax=vmax,
                       extent=(pos.min() - spacing / 2, pos.max() + spacing / 2,
                               t_end + tr.dt / 2, -tr.dt / 2), interpolation="nearest")
        fig.colorbar(im, ax=ax, label=f"{_COMPONENT[component]} particle velocity")
    elif kind == "wiggle":
        peak = _symmetric_limit(data, 1.0)
        scale = 0.9 * spacing / (peak * clip)
        for x0, trace in zip(pos, data):
            w = x0 + scale * trace
            ax.plot(w, tr.t, color="black", linewidth=0.6)
            ax.fill_betweenx(tr.t, x0, w, where=w > x0, color="black", linewidth=0)
        ax.set_xlim(pos.min() - spacing, pos.max() + spacing)
        ax.set_ylim(t_end, 0)
    else:
        raise ValueError(f"kind {kind!r}: use 'image' or 'wiggle'")
    delay = wavelet_peak_time(run) if moveout else 0.0
    for v in moveout:
        order = np.argsort(pos)
        ax.plot(pos[order], tr.distances[order] / v + delay, "--", color="green",
                linewidth=1.2, label=f"distance / {v:g} + {delay:.3g} {run.time_unit} "
                                     "(wavelet peak)")
    if moveout:
        ax.legend(loc="lower right", fontsize=9)
    ax.set_xlabel(label)
    ax.set_ylabel(f"time ({run.time_unit})")
    ax.set_title(f"{_COMPONENT[component]} particle velocity, {len(pos)} receivers"
                 f"{_gain_text(power, agc, run.time_unit)}")
    ax.grid(True, axis="y", alpha=0.3)
    return fig


def _material_properties(mat: dict) -> dict:
    """Grid-frame properties of a material: vertical P velocity, S velocity, density, Q."""
    if mat["kind"] == "vti":
        c = vti_stiffness(mat)
        # Material 3 is rotated: the table's horizontal stiffness C11 acts vertically.
        vp = (c["p11"] / mat["rho"]) ** 0.5
        return {"vp": vp, "vs": mat["vs0"], "rho": mat["rho"], "q": mat.get("q", np.inf)}
    return {"vp": mat["vp"], "vs": mat["vs"], "rho": mat["rho"], "q": mat.get("qp", np.inf)}


def plot_model(model: dict, name: str = "") -> Figure:
    """P and S velocity, density and Q of a model description, with outlines, source and
    receivers."""
    d = model["deck"]
    unit = model.get("units", {}).get("length", "m")
    h = element_size(d["nx"], d["ny"], d["xsize"], d["ysize"])
    width, height = d["nx"] * h, d["ny"] * h
    mat = material_map(d["nx"], d["ny"], h, model["regions"])
    props = [_material_properties(m) for m in model["materials"]]
    rec = d["receivers"]
    n = rec["nrec"]
    rx = [rec["xinic"] + (rec["xfin"] - rec["xinic"]) * k / (n - 1) for k in range(n)]
    ry = [rec["yinic"] + (rec["yfin"] - rec["yinic"]) * k / (n - 1) for k in range(n)]
    aspect = height / width
    fig = _figure(13, max(5.0, 2 * (5.2 * aspect) + 1.8))
    axes = fig.subplots(2, 2).ravel()
    panels = (("vp", "P velocity (vertical)", "viridis"), ("vs", "S velocity", "viridis"),
              ("rho", "density", "cividis"), ("q", "Q (P waves)", "magma"))
    for ax, (key, title, cmap) in zip(axes, panels):
        values = np.full(mat.shape, np.nan)
        for number, pr in enumerate(props, 1):
            values[mat == number] = pr[key]
        if key == "q":
            values[~np.isfinite(values)] = np.nan  # elastic: no attenuation
        im = ax.imshow(values, origin="lower", extent=(0, width, 0, height), cmap=cmap,
                       interpolation="nearest")
        _draw_outlines(ax, mat, h, color="white")
        _draw_marks(ax, d["xsou"], d["ysou"], rx, ry)
        ax.set_xlim(0, width)
        ax.set_ylim(0, height)
        _label_axes(ax, unit)
        ax.set_title(title + (" (blank: elastic)" if key == "q" and np.isnan(values).any()
                              else ""))
        fig.colorbar(im, ax=ax, shrink=0.85)
    for number, m in enumerate(model["materials"], 1):
        jj, ii = np.nonzero(mat == number)
        if jj.size:
            k = np.argmin((jj - jj.mean()) ** 2 + (ii - ii.mean()) ** 2)
            axes[0].annotate(m.get("name", f"material {number}"),
                             ((ii[k] + 0.5) * h, (jj[k] + 0.5) * h), ha="center",
                             va="center", fontsize=8, color="white",
                             bbox=dict(boxstyle="round", fc="black", alpha=0.5))
    axes[0].legend(loc="lower left", fontsize=8, framealpha=0.8)
    fig.suptitle(f"Model {name}".strip())
    return fig


def save(fig: Figure, path, dpi: int = 100) -> Path:
    path = Path(path)
    fig.savefig(path, dpi=dpi)
    return path


def render_run(run, outdir=None, power=None, agc=None, clip=1.0, moveout=()) -> list:
    """Writes the pictures of a run: snapshot_K.png (both components), gather_vx.png,
    gather_vy.png (images), wiggle_vx.png, wiggle_vy.png and, with model.json in the run,
    model.png.  Returns the paths."""
    outdir = Path(outdir or run.path)
    outdir.mkdir(parents=True, exist_ok=True)
    made = []
    for snap in run.snapshots:
        made.append(save(plot_snapshot(run, snap), outdir / f"snapshot_{snap.number}.png"))
    if run.params.nt > 1 and run.params.nrec > 0:
        for c in ("x", "y"):
            made.append(save(plot_gather(run, c, "image", power, agc, clip, moveout),
                             outdir / f"gather_v{c}.png"))
            made.append(save(plot_gather(run, c, "wiggle", power, agc, clip, moveout),
                             outdir / f"wiggle_v{c}.png"))
    if run.model is not None:
        made.append(save(plot_model(run.model, run.path.name), outdir / "model.png"))
    return made
