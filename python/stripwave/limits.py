"""The simulator's limits: what it refuses, so that the package refuses the same beforehand.

The established limits stop a deck beyond them (each with its stop code) unless the simulator
runs with ``--lift-limits``, which leaves the memory of the machine as the bound; the others hold
in every run.  The model schema takes its bounds from here (`stripwave.model.schema`).
"""

from __future__ import annotations

# Established limits: ``--lift-limits`` lifts them.
GRID = 600                  #: elements along x and along y (stop 77)
SAMPLES = 2500              #: time samples nt, and the samples of a type-2 pulse (stops 999, 12345)
FREQUENCIES = 600           #: frequency indices of the band (stop 33377)
TIME_SNAPSHOTS = 25         #: snapshots in time (stop 6183)
RECEIVERS = 200             #: receivers (stop 9920)

# Limits of every run.
FREQUENCY_SNAPSHOTS = 3     #: frequency snapshots, echoed only (stop 5183)
MATERIALS = 20              #: materials nmat the deck declares (stop 222)
MIN_RECEIVERS = 2           #: the receiver spacing divides by nrec - 1
FIELD_I5 = 99999            #: the largest value of a deck's (i5) integer field
INT32 = 2 ** 31 - 1         #: the largest count or sample index the simulator holds


def input_size_bound(records: int) -> int:
    """Bytes beyond which the simulator refuses an input file of `records` records unread:
    256 bytes a record and 64 KiB besides."""
    return 256 * records + 65536


def deck_size_bound(nx: int, ny: int) -> int:
    """The largest deck the simulator reads for an nx by ny grid: 64 header lines and one
    five-line region group per element and one more (the end of the list)."""
    return input_size_bound(64 + 5 * (nx * ny + 1))


def table_size_bound(nf: int) -> int:
    """The largest material table the simulator reads: MATERIALS materials of a header, a
    density and nf records."""
    return input_size_bound(MATERIALS * (2 + max(nf, 0)))
