"""The grid of square elements: the material map the program builds from the region rectangles."""

from __future__ import annotations

import numpy as np


def region_range(lo: float, hi: float, h: float) -> tuple:
    """First and last element index (1-based) a region's bounds select, as the program does:
    bounds moved inward by half an element, then int(bound / h + 1)."""
    lo = lo + 0.5 * h
    hi = hi - 0.5 * h
    return int(lo / h + 1.0), int(hi / h + 1.0)


def material_map(nx: int, ny: int, h: float, regions) -> np.ndarray:
    """Material number of every element, [j, i] with row 0 at the bottom; 0 where no region
    covers an element.  Later regions overwrite earlier ones.  Regions reaching outside the
    grid are clipped (the program stops on them; the model checks reject them first)."""
    mat = np.zeros((ny, nx), dtype=int)
    for reg in regions:
        ixi, ixf = region_range(reg["xi"], reg["xf"], h)
        iyi, iyf = region_range(reg["yi"], reg["yf"], h)
        i0, i1 = max(ixi, 1), min(ixf, nx)
        j0, j1 = max(iyi, 1), min(iyf, ny)
        if i0 <= i1 and j0 <= j1:
            mat[j0 - 1:j1, i0 - 1:i1] = reg["material"]
    return mat


def element_size(nx: int, ny: int, xsize: float, ysize: float) -> float:
    """Side h of the square elements: the longer side of the requested domain is cut."""
    qx, qy = xsize / nx, ysize / ny
    return qy if qy < qx else qx
