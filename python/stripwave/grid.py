"""The grid of square elements: the material map the program builds from the region rectangles."""

from __future__ import annotations

import math

import numpy as np


#: An index the program cannot hold: a real-to-integer conversion beyond 32 bits counts as
#: beyond every limit (far outside the grid).
_BEYOND = 2 ** 31


def element_index(value: float, h: float) -> int:
    """The element index int(value / h + 1) the program gives a coordinate (1-based); values
    whose index does not fit in 32 bits give +-2^31, outside any grid."""
    t = value / h + 1.0
    if not math.isfinite(t) or abs(t) >= _BEYOND:
        return _BEYOND if t > 0 else -_BEYOND
    return int(t)


def region_range(lo: float, hi: float, h: float) -> tuple:
    """First and last element index (1-based) a region's bounds select, as the program does:
    bounds moved inward by half an element, then int(bound / h + 1)."""
    lo = lo + 0.5 * h
    hi = hi - 0.5 * h
    return element_index(lo, h), element_index(hi, h)


def _clipped_blocks(nx: int, ny: int, h: float, regions):
    """(region, (i0, i1, j0, j1)) of every region that covers an element of the grid: its
    columns i0 .. i1 - 1 and rows j0 .. j1 - 1 (0-based, half-open), clipped to the grid."""
    for reg in regions:
        ixi, ixf = region_range(reg["xi"], reg["xf"], h)
        iyi, iyf = region_range(reg["yi"], reg["yf"], h)
        i0, i1 = max(ixi, 1), min(ixf, nx)
        j0, j1 = max(iyi, 1), min(iyf, ny)
        if i0 <= i1 and j0 <= j1:
            yield reg, (i0 - 1, i1, j0 - 1, j1)


def material_map(nx: int, ny: int, h: float, regions) -> np.ndarray:
    """Material number of every element, [j, i] with row 0 at the bottom; 0 where no region
    covers an element.  Later regions overwrite earlier ones.  Regions reaching outside the
    grid are clipped (the program stops on them; the model checks reject them first)."""
    mat = np.zeros((ny, nx), dtype=int)
    for reg, (i0, i1, j0, j1) in _clipped_blocks(nx, ny, h, regions):
        mat[j0:j1, i0:i1] = reg["material"]
    return mat


def element_size(nx: int, ny: int, xsize: float, ysize: float) -> float:
    """Side h of the square elements: the longer side of the requested domain is cut."""
    qx, qy = xsize / nx, ysize / ny
    return qy if qy < qx else qx


def uncovered(nx: int, ny: int, h: float, regions) -> tuple:
    """(number of elements no region covers, (i, j) 0-based of the first of them in the order
    of the material map's rows, or None).  Works on the blocks of elements the region edges
    cut the grid into, so that a large grid of few regions needs no map of its own."""
    ranges = [block for _, block in _clipped_blocks(nx, ny, h, regions)]
    xs = np.unique([0, nx] + [r[k] for r in ranges for k in (0, 1)])
    ys = np.unique([0, ny] + [r[k] for r in ranges for k in (2, 3)])
    covered = np.zeros((ys.size - 1, xs.size - 1), dtype=bool)
    for i0, i1, j0, j1 in ranges:
        a, b = np.searchsorted(xs, (i0, i1))
        c, d = np.searchsorted(ys, (j0, j1))
        covered[c:d, a:b] = True
    holes = np.argwhere(~covered)
    if holes.size == 0:
        return 0, None
    widths, heights = np.diff(xs), np.diff(ys)
    count = int((heights[holes[:, 0]] * widths[holes[:, 1]]).sum())
    jb, ib = holes[0]
    return count, (int(xs[ib]), int(ys[jb]))
