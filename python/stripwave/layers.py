"""Gridded models from layers: curved interfaces, linear gradients inside the layers, faults
that offset the interfaces across a fault line, and bodies (a gas pocket, a lens) that replace
the properties of a layer inside an outline.

Depths are in m below the top of the model, x in m from its left side.  An interface is a depth
(a number), a function of x (called with an array of x) or a list of (x, depth) points joined
by a monotone cubic (no overshoot between the points, level beyond the ends).  Layers are listed
from the top down; each reaches from its top interface down to the next layer's top, and the
first reaches up to the top of the model whatever its own top is.

Faults are applied to the layers as rigid shifts of their hanging walls: a fault is a trace
(the depth of the fault as a function of x: a list of points joined by straight lines, extended
along the end segments, or a function) and a throw; the rock above the trace moves down by the
throw (negative: up, as on a reverse fault or a thrust) and sideways along the fault.  Faults
are listed oldest first; a younger fault shifts the older faults with the layers.  Layers
marked `faulted=False` were laid down after the faults (the water, a young cover): they must
come first, and the top of the first faulted layer is then the unconformity (a present-day
surface) they rest on.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field

import numpy as np

from .gridded import GriddedModel, gardner_density
from .model import ModelError

_PROPERTIES = ("vp", "vs", "rho", "qp", "qs", "epsilon", "delta", "tilt")


def interface(shape):
    """A function depth(x) (arrays) from a number, a function or a list of (x, depth) points."""
    if shape is None:
        return lambda x: np.zeros_like(np.asarray(x, dtype=float))
    if callable(shape):
        return lambda x: np.broadcast_to(np.asarray(shape(np.asarray(x, dtype=float)),
                                                    dtype=float), np.shape(x))
    if isinstance(shape, (int, float)):
        return lambda x: np.full(np.shape(x), float(shape))
    points = np.asarray(shape, dtype=float)
    if points.ndim != 2 or points.shape[1] != 2 or len(points) < 1:
        raise ModelError([f"interface {shape!r}: a depth, a function of x or (x, depth) points"])
    order = np.argsort(points[:, 0])
    xs, zs = points[order, 0], points[order, 1]
    if len(xs) > 1 and (np.diff(xs) <= 0).any():
        raise ModelError([f"interface points {shape!r}: two points at the same x"])
    if len(xs) == 1:
        return lambda x: np.full(np.shape(x), zs[0])
    from scipy.interpolate import PchipInterpolator
    curve = PchipInterpolator(xs, zs, extrapolate=False)
    return lambda x: curve(np.clip(np.asarray(x, dtype=float), xs[0], xs[-1]))


def _slope(depth, x, step=0.5):
    return (depth(x + step) - depth(x - step)) / (2.0 * step)


@dataclass
class Layer:
    """A layer: its top interface and its properties at the top, with linear gradients per m
    of depth below the top (`gradient`, e.g. {"vp": 0.5} for 0.5 m/s per m).

    vp, vs in m/s (vs 0: a fluid; None: vp / vp_vs), rho in g/cm3 (None: Gardner's relation
    from vp), qp and qs, epsilon and delta, tilt in degrees from the vertical towards +x or
    "bedding": the symmetry axis normal to the layer's top (rotated with it by nothing but the
    faults' shifts, which keep it).
    """

    name: str
    top: object = None
    vp: float = math.nan
    vs: float | None = None
    rho: float | None = None
    qp: float | None = None
    qs: float | None = None
    epsilon: float | None = None
    delta: float | None = None
    tilt: float | str | None = None
    gradient: dict = field(default_factory=dict)
    vp_vs: float | None = None
    faulted: bool = True


@dataclass
class Fault:
    """A fault: `trace` the depth of the fault plane as a function of x ((x, depth) points or a
    function), `throw` the vertical shift of the rock above it (m, positive down), `heave` the
    horizontal shift (default: along the trace from its first point to its last)."""

    trace: object
    throw: float
    heave: float | None = None
    name: str = "fault"

    def depth(self, x):
        if callable(self.trace):
            return np.asarray(self.trace(np.asarray(x, dtype=float)), dtype=float)
        pts = np.asarray(self.trace, dtype=float)
        pts = pts[np.argsort(pts[:, 0])]
        xs, zs = pts[:, 0], pts[:, 1]
        x = np.asarray(x, dtype=float)
        out = np.interp(x, xs, zs)
        for end, (a, b) in ((x < xs[0], (0, 1)), (x > xs[-1], (-2, -1))):
            slope = (zs[b] - zs[a]) / (xs[b] - xs[a])
            out = np.where(end, zs[a] + slope * (x - xs[a]), out)
        return out

    def shift(self) -> tuple:
        """(dx, dz) of the rock above the fault."""
        if self.heave is not None:
            return float(self.heave), float(self.throw)
        if callable(self.trace):
            raise ModelError([f"{self.name}: a trace given as a function needs the heave"])
        pts = np.asarray(self.trace, dtype=float)
        pts = pts[np.argsort(pts[:, 0])]
        dz = pts[-1, 1] - pts[0, 1]
        if dz == 0:
            raise ModelError([f"{self.name}: a level trace needs the heave"])
        return float(self.throw * (pts[-1, 0] - pts[0, 0]) / dz), float(self.throw)


@dataclass
class Body:
    """Properties that replace a layer's inside an outline of present-day (x, depth) points or
    a function mask(x, depth) -> bool, optionally only within the layer named `within`;
    properties left None keep the layer's."""

    name: str
    shape: object
    within: str | None = None
    vp: float | None = None
    vs: float | None = None
    rho: float | None = None
    qp: float | None = None
    qs: float | None = None
    epsilon: float | None = None
    delta: float | None = None
    tilt: float | None = None

    def mask(self, x, z):
        if callable(self.shape):
            return np.asarray(self.shape(x, z), dtype=bool)
        from matplotlib.path import Path as Outline
        outline = Outline(np.asarray(self.shape, dtype=float))
        return outline.contains_points(np.column_stack([x.ravel(), z.ravel()])).reshape(x.shape)


def _check_layers(layers, bodies, vp_vs) -> list:
    out = []
    if not layers:
        return ["layers: at least one layer"]
    seen_faulted = False
    for n, layer in enumerate(layers):
        at = f"layers[{n}] ({layer.name})"
        if layer.faulted:
            seen_faulted = True
        elif seen_faulted:
            out.append(f"{at}: laid down after the faults but below a faulted layer; list the "
                       "unfaulted layers first")
        if not (isinstance(layer.vp, (int, float)) and math.isfinite(layer.vp)):
            out.append(f"{at}: vp = {layer.vp}: needs a P velocity (m/s)")
        if layer.vs is None and layer.vp_vs is None and vp_vs is None:
            out.append(f"{at}: no vs and no vp/vs ratio (vp_vs) to take it from")
        if (layer.epsilon is None) != (layer.delta is None):
            out.append(f"{at}: epsilon and delta come together")
        unknown = set(layer.gradient) - set(_PROPERTIES[:7])
        if unknown:
            out.append(f"{at}: gradient of {', '.join(sorted(unknown))}: gradients are of "
                       f"{', '.join(_PROPERTIES[:7])}")
    if not any(layer.faulted for layer in layers):
        out.append("layers: every layer is unfaulted; the last must be faulted (it is the "
                   "base the others rest on)")
    for key in ("qp", "qs"):
        given = [layer.name for layer in layers if getattr(layer, key) is not None]
        missing = [layer.name for layer in layers if getattr(layer, key) is None]
        if given and missing:
            out.append(f"{key}: given for {', '.join(given)} but not for {', '.join(missing)}; "
                       "every layer needs it (a large value is nearly elastic)")
    for key in ("qp", "qs"):
        if all(getattr(layer, key) is None for layer in layers):
            for body in bodies:
                if getattr(body, key) is not None:
                    out.append(f"bodies ({body.name}): {key} in an elastic model (no layer "
                               f"has {key})")
    names = {layer.name for layer in layers}
    for body in bodies:
        if body.within is not None and body.within not in names:
            out.append(f"bodies ({body.name}): within = {body.within!r} names no layer")
    return out


def layered_model(h: float, nx: int, ny: int, layers: list, faults=(), bodies=(), *,
                  vp_vs: float | None = None,
                  reference_frequency: float | None = None) -> GriddedModel:
    """A gridded model of `nx` x `ny` elements of `h` m from layers (top down), faults (oldest
    first) and bodies (later ones over earlier ones), sampled at the element centres."""
    messages = _check_layers(layers, bodies, vp_vs)
    if messages:
        raise ModelError(messages)
    x = (np.arange(nx)[None, :] + 0.5) * h * np.ones((ny, 1))
    z = (np.arange(ny)[:, None] + 0.5) * h * np.ones((1, nx))
    # Where each element's rock was before the faults moved it.
    x0, z0 = x.copy(), z.copy()
    for fault in reversed(list(faults)):
        dx, dz = fault.shift()
        above = z0 < fault.depth(x0)
        x0 = np.where(above, x0 - dx, x0)
        z0 = np.where(above, z0 - dz, z0)
    tops = [interface(layer.top) for layer in layers]
    first = next(k for k, layer in enumerate(layers) if layer.faulted)
    index = np.full((ny, nx), first)
    for k in range(first + 1, len(layers)):
        index = np.where(z0 >= tops[k](x0), k, index)
    # The unfaulted layers, in present-day depths, above the unconformity.
    if first > 0:
        cover = np.zeros((ny, nx), dtype=int)
        for k in range(1, first):
            cover = np.where(z >= tops[k](x), k, cover)
        index = np.where(z < tops[first](x), cover, index)
    # Depth below the layer's top, in the frame the layer was laid down in.
    xs = np.where(index < first, x, x0)
    zs = np.where(index < first, z, z0)
    below = np.zeros((ny, nx))
    for k in range(len(layers)):
        sel = index == k
        if k == 0 and layers[0].top is None:
            below[sel] = zs[sel]
        else:
            below[sel] = zs[sel] - tops[k](xs[sel])
    below = np.maximum(below, 0.0)

    values = {p: np.zeros((ny, nx)) for p in _PROPERTIES}
    present = {p: False for p in _PROPERTIES}
    for k, layer in enumerate(layers):
        sel = index == k
        grad = layer.gradient
        vp = layer.vp + grad.get("vp", 0.0) * below[sel]
        values["vp"][sel] = vp
        if layer.vs is None:
            values["vs"][sel] = vp / (layer.vp_vs or vp_vs)
        else:
            values["vs"][sel] = layer.vs + grad.get("vs", 0.0) * below[sel]
        if layer.rho is None:
            values["rho"][sel] = gardner_density(vp)
        else:
            values["rho"][sel] = layer.rho + grad.get("rho", 0.0) * below[sel]
        for p in ("qp", "qs", "epsilon", "delta"):
            v = getattr(layer, p)
            if v is not None:
                values[p][sel] = v + grad.get(p, 0.0) * below[sel]
                present[p] = True
        if layer.tilt == "bedding":
            values["tilt"][sel] = np.degrees(np.arctan(_slope(tops[k], xs[sel])))
            present["tilt"] = True
        elif layer.tilt is not None:
            values["tilt"][sel] = float(layer.tilt)
            present["tilt"] = True
    names = [layer.name for layer in layers]
    for body in bodies:
        sel = body.mask(x, z)
        if body.within is not None:
            sel &= index == names.index(body.within)
        index = np.where(sel, len(names), index)
        names.append(body.name)
        for p in _PROPERTIES:
            v = getattr(body, p)
            if v is not None:
                values[p][sel] = v
                present[p] = present[p] or p not in ("vp", "vs", "rho")
    optional = {p: (values[p] if present[p] else None) for p in _PROPERTIES[3:]}
    if (optional["epsilon"] is None) != (optional["delta"] is None):
        optional["epsilon" if optional["epsilon"] is None else "delta"] = np.zeros((ny, nx))
    return GriddedModel(float(h), values["vp"], values["vs"], values["rho"], **optional,
                        reference_frequency=reference_frequency, labels=(index, names))
