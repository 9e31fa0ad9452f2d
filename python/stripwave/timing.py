"""The period of the frequency sampling and the waves that outlast it.

The program sums its frequency solutions at (j - 1/2) delf, so traces and snapshots are periodic
with period 1/delf (the sign flipped after each period).  Energy that is still in the model when
the record ends keeps arriving for about as long as the slowest wave takes to cross the model;
when the record length plus that time exceeds the period, those late arrivals wrap around into
the start of the record.
"""

from __future__ import annotations

import math

from .deck import quantise


def consistent_npf(npf: int, f4: float) -> bool:
    """Whether npf gives as many band indices as table records for this f4 (f4 / delf must not
    round across an integer)."""
    delf = f4 / npf
    return int(f4 / delf + 1.0) - 1 == int(f4 / delf)


def npf_for_period(period: float, f4: float, start: int = 1) -> int:
    """The smallest npf (at least `start`) whose period 1/delf = npf / f4 reaches `period`, with
    the band indices and table records in step."""
    f4 = quantise(f4)
    npf = max(start, math.ceil(period * f4 - 1e-9))
    while npf / f4 < period or not consistent_npf(npf, f4):
        npf += 1
    return npf


def crossing_time(width: float, height: float, slowest: float) -> float:
    """Time the slowest wave takes along the model's diagonal."""
    return math.hypot(width, height) / slowest


def wraparound_warning(stime: float, f4: float, npf: int, width: float, height: float,
                       slowest: float, what: str = "the slowest wave") -> str | None:
    """A warning when the record length `stime` plus the slowest wave's crossing time exceeds
    the period npf / f4, naming the npf that would hold both; None when it does not.

    Lengths, times and frequencies in consistent units (m, ms, kHz; velocities in m/ms).
    """
    period = npf / f4
    cross = crossing_time(width, height, slowest)
    if stime + cross <= period:
        return None
    need = npf_for_period(stime + cross, f4, npf + 1)
    return (f"deck.stime = {stime:g} plus {what}'s time across the model "
            f"({math.hypot(width, height):.5g} at {slowest:.4g}: {cross:.5g}) is "
            f"{stime + cross:.5g}, past the period 1/delf = {period:.6g} of the frequency "
            f"sampling (delf = f4 / npf): arrivals after the period wrap around into the start "
            f"of the traces and snapshots with the sign flipped; npf = {need} (period "
            f"{need / f4:.6g}) holds them")
