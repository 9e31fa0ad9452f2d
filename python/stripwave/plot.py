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


def _draw_marks(ax, xs, ys, rx, ry):
    ax.scatter(rx, ry, label="receivers", **_RECEIVER_STYLE)
    ax.scatter([xs], [ys], label="source", **_SOURCE_STYLE)


def _symmetric_limit(data: np.ndarray, clip: float) -> float:
    finite = np.abs(data[np.isfinite(data)])
    peak = float(finite.max()) if finite.size else 0.0
    return peak * clip if peak > 0 else 1.0


def _label_axes(ax, unit, depth_down=False):
    ax.set_xlabel(f"x ({unit})")
    ax.set_ylabel(f"depth ({unit})" if depth_down else f"y ({unit}, up)")
    ax.set_aspect("equal")


class _Frame:
    """The vertical axis of a section: y up from the bottom (the program's), or depth below
    the top increasing downwards."""

    def __init__(self, height: float, depth_down: bool):
        self.height = height
        self.depth_down = depth_down

    def y(self, y):
        """A y (up from the bottom) on the drawn axis."""
        return self.height - np.asarray(y, dtype=float) if self.depth_down else np.asarray(y)

    def image(self, ax, rows_from_bottom, width, **style):
        """An image of [j, i] data, row 0 at the bottom of the model."""
        data = np.asanyarray(rows_from_bottom)
        if self.depth_down:
            return ax.imshow(data[::-1], origin="upper", extent=(0, width, self.height, 0),
                             interpolation="nearest", **style)
        return ax.imshow(data, origin="lower", extent=(0, width, 0, self.height),
                         interpolation="nearest", **style)

    def limits(self, ax, width):
        ax.set_xlim(0, width)
        ax.set_ylim((self.height, 0) if self.depth_down else (0, self.height))

    def segments(self, segs):
        segs = np.array(segs, dtype=float)
        if self.depth_down and len(segs):
            segs[..., 1] = self.height - segs[..., 1]
        return segs


def run_name(path) -> str:
    """The name of a run directory or of a file's directory: its own name, also for '.'."""
    path = Path(path)
    return path.name or path.resolve().name


def place_labels(fig, ax, index: np.ndarray, names, h: float, frame: "_Frame", style=None):
    """Writes each unit's name (index k of `names` in the [j, i] map `index`, row 0 at the
    bottom) where it is thick, moving a label that would overlap one already placed to the
    next thickest place, so that the labels of thin layers stay apart (and clear of the
    legend).  Returns the texts."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    if not isinstance(fig.canvas, FigureCanvasAgg):
        FigureCanvasAgg(fig)
    fig.canvas.draw()  # lays out the figure: label extents are measured in its final place
    fig.set_layout_engine("none")
    renderer = fig.canvas.get_renderer()
    style = style or dict(ha="center", va="center", fontsize=8, color="white",
                          bbox=dict(boxstyle="round", fc="black", alpha=0.55), zorder=6)
    pad = style.get("bbox", {}).get("pad", 0.3) if isinstance(style.get("bbox"), dict) else 0.3
    margin = (pad + 0.15) * style.get("fontsize", 8) * fig.dpi / 72.0  # the box around the text
    placed, texts = [], []
    if ax.get_legend() is not None:  # labels keep clear of the legend
        placed.append(ax.get_legend().get_window_extent(renderer))
    axes_box = ax.get_window_extent(renderer)
    ny, nx = index.shape
    columns = np.unique(np.linspace(0, nx - 1, min(nx, 40)).astype(int))
    for k, name in enumerate(names):
        candidates = []
        for i in columns:
            inside = np.concatenate([[False], index[:, i] == k, [False]])
            edges = np.flatnonzero(np.diff(inside.astype(int)))
            for start, stop in zip(edges[::2], edges[1::2]):
                candidates.append((stop - start, i, 0.5 * (start + stop)))
        if not candidates:
            continue
        candidates.sort(key=lambda c: (-c[0], abs(c[1] - nx / 2)))
        text = ax.text(0, 0, name, **style)
        best = None
        for thickness, i, j in candidates:
            text.set_position(((i + 0.5) * h, float(frame.y(j * h))))
            box = text.get_window_extent(renderer).padded(margin)
            if box.x0 < axes_box.x0 or box.x1 > axes_box.x1 or box.y0 < axes_box.y0 or \
                    box.y1 > axes_box.y1:
                continue
            if not any(box.overlaps(other) for other in placed):
                best = box
                break
        if best is None:  # nowhere free: the thickest place
            _, i, j = candidates[0]
            text.set_position(((i + 0.5) * h, float(frame.y(j * h))))
            best = text.get_window_extent(renderer).padded(margin)
        placed.append(best)
        texts.append(text)
    return texts


def _velocity_unit(run) -> str:
    return f"{run.length_unit}/{run.time_unit}"


def snapshot_panel(ax, run, snapshot, component="y", clip=1.0, depth_down=True,
                   background=None):
    """Draws one component of a snapshot on `ax`; returns the mappable for a colour bar.

    `background` (a GriddedModel or an array of vp, row 0 at the top) is drawn in grey under
    the field, which is then transparent where it is weak."""
    from matplotlib import colormaps
    from matplotlib.cm import ScalarMappable
    from matplotlib.colors import Normalize
    p = run.params
    frame = _Frame(p.ysize, depth_down)
    data = snapshot.component(component)
    vmax = _symmetric_limit(data, clip)
    if background is None:
        im = frame.image(ax, data, p.xsize, cmap="seismic", vmin=-vmax, vmax=vmax)
    else:
        vp = np.asarray(getattr(background, "vp", background), dtype=float)
        frame.image(ax, vp[::-1], p.xsize, cmap="Greys", alpha=0.6)
        norm = Normalize(-vmax, vmax)
        rgba = colormaps["seismic"](norm(data))
        rgba[..., 3] = np.clip(3.0 * np.abs(data) / vmax, 0.0, 1.0)
        frame.image(ax, rgba, p.xsize)
        im = ScalarMappable(norm, "seismic")
    segs = frame.segments(_outline_segments(run.material_map(), p.h))
    if len(segs):
        ax.add_collection(LineCollection(segs, colors="0.25", linewidths=0.8, zorder=4,
                                         label="material boundaries"))
    _draw_marks(ax, p.xsou, frame.y(p.ysou), run.traces.rx, frame.y(run.traces.ry))
    frame.limits(ax, p.xsize)
    _label_axes(ax, run.length_unit, depth_down)
    ax.set_title(f"{_COMPONENT[component]} velocity at t = {snapshot.time:.4g} {run.time_unit}")
    return im


def plot_snapshot(run, snapshot, components=("x", "y"), clip=1.0, depth_down=True,
                  background=None) -> Figure:
    """A figure of a snapshot: one panel per component, each with its colour bar."""
    p = run.params
    aspect = p.ysize / p.xsize
    n = len(components)
    fig = _figure(6.5 * n, max(3.5, 5.5 * aspect + 1.2))
    axes = fig.subplots(1, n, squeeze=False)[0]
    for ax, c in zip(axes, components):
        im = snapshot_panel(ax, run, snapshot, c, clip, depth_down, background)
        fig.colorbar(im, ax=ax, shrink=0.85,
                     label=f"{_COMPONENT[c]} particle velocity ({_velocity_unit(run)})")
    axes[0].legend(loc="lower left", fontsize=8, framealpha=0.8)
    fig.suptitle(f"{run_name(run.path)}: snapshot {snapshot.number} (time step "
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
        fig.colorbar(im, ax=ax, label=f"{_COMPONENT[component]} particle velocity "
                                      f"({_velocity_unit(run)})")
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


def _section_figure(width, height, panels):
    aspect = height / width
    rows = (panels + 1) // 2
    fig = _figure(13, max(2.5 * rows, rows * (5.2 * aspect + 0.9) + 0.9))
    axes = fig.subplots(rows, 2, squeeze=False).ravel()
    for ax in axes[panels:]:
        ax.set_visible(False)
    return fig, axes[:panels]


def plot_model(model: dict, name: str = "", depth_down: bool = True) -> Figure:
    """P and S velocity, density and Q of a model description, with outlines, source,
    receivers and the materials' names."""
    d = model["deck"]
    units = model.get("units", {})
    unit, time = units.get("length", "m"), units.get("time", "ms")
    h = element_size(d["nx"], d["ny"], d["xsize"], d["ysize"])
    width, height = d["nx"] * h, d["ny"] * h
    frame = _Frame(height, depth_down)
    mat = material_map(d["nx"], d["ny"], h, model["regions"])
    props = [_material_properties(m) for m in model["materials"]]
    rec = d["receivers"]
    n = rec["nrec"]
    rx = [rec["xinic"] + (rec["xfin"] - rec["xinic"]) * k / (n - 1) for k in range(n)]
    ry = [rec["yinic"] + (rec["yfin"] - rec["yinic"]) * k / (n - 1) for k in range(n)]
    fig, axes = _section_figure(width, height, 4)
    v = f"{unit}/{time}"
    panels = (("vp", "P velocity (vertical)", "viridis", f"vp ({v})"),
              ("vs", "S velocity", "viridis", f"vs ({v})"),
              ("rho", "density", "cividis", "density (g/cm3)"),
              ("q", "Q (P waves)", "magma", "Q of P waves"))
    for ax, (key, title, cmap, label) in zip(axes, panels):
        values = np.full(mat.shape, np.nan)
        for number, pr in enumerate(props, 1):
            values[mat == number] = pr[key]
        if key == "q":
            values[~np.isfinite(values)] = np.nan  # elastic: no attenuation
        im = frame.image(ax, values, width, cmap=cmap)
        segs = frame.segments(_outline_segments(mat, h))
        if len(segs):
            ax.add_collection(LineCollection(segs, colors="white", linewidths=0.8, zorder=4,
                                             label="material boundaries"))
        _draw_marks(ax, d["xsou"], frame.y(d["ysou"]), rx, frame.y(ry))
        frame.limits(ax, width)
        _label_axes(ax, unit, depth_down)
        ax.set_title(title + (" (blank: elastic)" if key == "q" and np.isnan(values).any()
                              else ""))
        fig.colorbar(im, ax=ax, shrink=0.85, label=label)
    axes[0].legend(loc="lower left", fontsize=8, framealpha=0.8)
    fig.suptitle(f"Model {name}".strip())
    names = [m.get("name", f"material {k}") for k, m in enumerate(model["materials"], 1)]
    place_labels(fig, axes[0], mat - 1, names, h, frame)
    return fig


#: Panels of a gridded model: dataset, title, colour map, colour bar label.
_GRIDDED_PANELS = (("vp", "P velocity", "viridis", "vp (m/s)"),
                   ("vs", "S velocity (blue: fluid)", "viridis", "vs (m/s)"),
                   ("rho", "density", "cividis", "density (g/cm3)"),
                   ("qp", "Q of P waves", "magma", "qp"),
                   ("qs", "Q of S waves", "magma", "qs"),
                   ("epsilon", "Thomsen epsilon", "PuOr", "epsilon"),
                   ("delta", "Thomsen delta", "PuOr", "delta"),
                   ("tilt", "tilt of the symmetry axis", "twilight_shifted",
                    "tilt from vertical towards +x (degree)"))


def plot_gridded(model, name: str = "", deck: dict | None = None,
                 depth_down: bool = True) -> Figure:
    """The properties of a gridded model (vp, vs, density and Q, and epsilon, delta and tilt
    when it has them), axes in m, with the source and receivers of `deck` and the names of
    the model's labels when it has them."""
    from matplotlib import colormaps
    h = model.h if np.isfinite(model.h) else 1.0
    unit = "m" if np.isfinite(model.h) else "elements"
    width, height = model.nx * h, model.ny * h
    frame = _Frame(height, depth_down)
    data = model.datasets()
    keys = ["vp", "vs", "rho", "qp"] + [k for k in ("qs", "epsilon", "delta", "tilt")
                                        if k in data]
    fig, axes = _section_figure(width, height, len(keys))
    panels = {p[0]: p for p in _GRIDDED_PANELS}
    for ax, key in zip(axes, keys):
        _, title, cmap, label = panels[key]
        frame.limits(ax, width)
        _label_axes(ax, unit, depth_down)
        if key not in data:
            ax.set_title("Q: none (no attenuation)")
            ax.text(0.5, 0.5, "elastic: the model has no qp, qs", transform=ax.transAxes,
                    ha="center", va="center")
            continue
        values = np.asarray(data[key], dtype=float)
        colours = colormaps[cmap].copy()
        if key == "vs":
            values = np.ma.masked_where(values == 0, values)
            colours.set_bad("#9ecae1")
        norm = None
        if key in ("qp", "qs") and values.max() > 3.0 * values.min():
            from matplotlib.colors import LogNorm
            norm = LogNorm(values.min(), values.max())  # Q of water and rock apart
        im = frame.image(ax, values[::-1], width, cmap=colours, norm=norm)
        ax.set_title(title)
        fig.colorbar(im, ax=ax, shrink=0.85, label=label)
        if deck is not None:
            rec = deck["receivers"]
            n = rec["nrec"]
            t = np.linspace(0.0, 1.0, n) if n > 1 else np.zeros(n)
            rx = rec["xinic"] + (rec["xfin"] - rec["xinic"]) * t
            ry = rec["yinic"] + (rec["yfin"] - rec["yinic"]) * t
            _draw_marks(ax, deck["xsou"], frame.y(deck["ysou"]), rx, frame.y(ry))
    if deck is not None:
        axes[0].legend(loc="lower left", fontsize=8, framealpha=0.8)
    fig.suptitle(f"Model {name}".strip())
    if model.labels is not None:
        index, names = model.labels
        place_labels(fig, axes[0], np.asarray(index)[::-1], names, h, frame)
    return fig


def plot_model_file(path, depth_down: bool = True) -> Figure:
    """The picture of a model file, with the grid, source and receivers of the deck inp_A
    beside it when there is one."""
    from .deck import DeckError, read_deck
    from .gridded import read_model_file
    path = Path(path)
    model = read_model_file(path)
    deck = None
    if (path.parent / "inp_A").is_file():
        try:
            deck = read_deck(path.parent / "inp_A")
        except DeckError:
            deck = None
    return plot_gridded(model, f"{run_name(path.parent)}/{path.name}", deck, depth_down)


def save(fig: Figure, path, dpi: int = 100) -> Path:
    path = Path(path)
    fig.savefig(path, dpi=dpi)
    return path


def render_run(run, outdir=None, power=None, agc=None, clip=1.0, moveout=(),
               depth_down: bool = True, model_file=None) -> list:
    """Writes the pictures of a run: snapshot_K.png (both components), gather_vx.png,
    gather_vy.png (images), wiggle_vx.png, wiggle_vy.png and model.png, from model.json in
    the run or from the model file (`model_file`, relative to the run; default model.h5 when
    the run has one), over which the snapshots are then drawn.  Returns the paths."""
    from .gridded import read_model_file
    outdir = Path(outdir or run.path)
    outdir.mkdir(parents=True, exist_ok=True)
    gridded = None
    if model_file is None and (run.path / "model.h5").is_file():
        model_file = "model.h5"
    if model_file is not None:
        gridded = read_model_file(run.path / model_file, h=run.params.h)
        if gridded.shape != (run.params.ny, run.params.nx):
            raise ValueError(f"{run.path / model_file}: {gridded.shape[1]} x "
                             f"{gridded.shape[0]} elements, the run has {run.params.nx} x "
                             f"{run.params.ny}")
    made = []
    for snap in run.snapshots:
        made.append(save(plot_snapshot(run, snap, depth_down=depth_down, background=gridded),
                         outdir / f"snapshot_{snap.number}.png"))
    if run.params.nt > 1 and run.params.nrec > 0:
        for c in ("x", "y"):
            made.append(save(plot_gather(run, c, "image", power, agc, clip, moveout),
                             outdir / f"gather_v{c}.png"))
            made.append(save(plot_gather(run, c, "wiggle", power, agc, clip, moveout),
                             outdir / f"wiggle_v{c}.png"))
    if gridded is not None:
        made.append(save(plot_gridded(gridded, run_name(run.path), run.deck, depth_down),
                         outdir / "model.png"))
    elif run.model is not None:
        made.append(save(plot_model(run.model, run_name(run.path), depth_down),
                         outdir / "model.png"))
    return made
