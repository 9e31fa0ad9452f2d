"""The input deck `inp_A`: reading it as the program does, and writing it from a model.

A deck is held as a dict with the keys of the model description's "deck" section (see
`stripwave.model`), plus "nmat" and "regions" (a list of dicts with xi, xf, yi, yf, material).
"""

from __future__ import annotations

from pathlib import Path

from .numbers import read_free_field, read_int_field, read_real_field

#: Keys of the deck section that hold reals written with (e20.8), in deck order.
REAL_KEYS = ("perclow", "xsize", "ysize", "freq", "stime", "f1", "f2", "f3", "f4", "reduc",
             "tmute", "xsou", "ysou")
RECEIVER_KEYS = ("xinic", "yinic", "xfin", "yfin")
REGION_KEYS = ("xi", "xf", "yi", "yf")


class DeckError(ValueError):
    """A deck that cannot be read: names the file, the line and what was expected."""


def real_field(x: float) -> str:
    """An (e20.8) field for `x`: fixed point with six decimals where that is exact, else exponent.

    The field always holds a decimal point (a field without one would be scaled by 1e-8).
    """
    text = f"{x:20.6f}"
    if len(text) <= 20 and not (x != 0 and abs(x) < 1e-3) and float(text) == x:
        return text
    text = f"{x:20.8E}"
    if float(text) == x:
        return text
    return f"{x:20.12E}"


def quantise(x: float) -> float:
    """The value the program reads back from `real_field(x)`."""
    return read_real_field(real_field(float(x)))


def deck_lines(deck: dict, nmat: int, regions: list) -> list[str]:
    """The lines of a deck, one value per line, in the order the program reads them."""
    lines: list[str] = []

    def i5(v):
        lines.append(f"{int(v):5d}")

    def e20(v):
        lines.append(real_field(float(v)))

    i5(deck["maxlow"])
    e20(deck["perclow"])
    i5(deck["nx"])
    i5(deck["ny"])
    e20(deck["xsize"])
    e20(deck["ysize"])
    fsnap = deck.get("fsnap", [])
    i5(len(fsnap))
    for f in fsnap or [0.0]:  # an empty list still takes one (ignored) line
        e20(f)
    tsnap = deck.get("tsnap", [])
    i5(len(tsnap))
    for t in tsnap or [0.0]:
        e20(t)
    i5(deck["npf"])
    i5(deck["key"])
    e20(deck["freq"])
    e20(deck["stime"])
    for k in ("f1", "f2", "f3", "f4"):
        e20(deck[k])
    i5(deck["maxiter"])
    e20(deck["reduc"])
    i5(nmat)
    i5(deck["kdel"])
    e20(deck["tmute"])
    e20(deck["xsou"])
    e20(deck["ysou"])
    rec = deck["receivers"]
    i5(rec["nrec"])
    for k in RECEIVER_KEYS:
        lines.append(f"{float(rec[k])}")  # free-form: the shortest text that reads back exactly
    for reg in regions:
        for k in REGION_KEYS:
            e20(reg[k])
        i5(reg["material"])
    for v in (-1.0, 0.0, 0.0, 0.0):  # a group with negative xi ends the region list
        e20(v)
    i5(0)
    return lines


def write_deck(deck: dict, nmat: int, regions: list, path) -> None:
    """Writes the deck `inp_A` to `path`."""
    Path(path).write_text("\n".join(deck_lines(deck, nmat, regions)) + "\n", encoding="ascii")


class _Lines:
    """Sequential records of a deck with the reads the program makes on them."""

    def __init__(self, path):
        self.path = Path(path)
        self.lines = self.path.read_text(encoding="ascii", errors="replace").splitlines()
        self.n = 0

    def _next(self, what: str) -> str:
        if self.n >= len(self.lines):
            raise DeckError(f"{self.path}: ends at line {self.n} where {what} was expected")
        self.n += 1
        return self.lines[self.n - 1]

    def _convert(self, reader, what: str):
        line = self._next(what)
        try:
            return reader(line)
        except ValueError as err:
            raise DeckError(f"{self.path}, line {self.n} ({what}): {err}") from None

    def int(self, what: str) -> int:
        return self._convert(read_int_field, what)

    def real(self, what: str) -> float:
        return self._convert(read_real_field, what)

    def free(self, what: str) -> float:
        return self._convert(read_free_field, what)


def read_deck(path) -> dict:
    """Reads a deck as the program does; returns the deck dict with "nmat" and "regions"."""
    r = _Lines(path)
    d: dict = {}
    d["maxlow"] = r.int("maxlow")
    d["perclow"] = r.real("perclow")
    d["nx"] = r.int("nx")
    d["ny"] = r.int("ny")
    d["xsize"] = r.real("xsize")
    d["ysize"] = r.real("ysize")
    nsnapf = r.int("nsnapf")
    d["fsnap"] = [r.real(f"fsnap {k}") for k in range(1, nsnapf + 1)]
    if nsnapf <= 0:
        r.real("the ignored line after nsnapf 0")
    nsnapt = r.int("nsnapt")
    d["tsnap"] = [r.real(f"tsnap {k}") for k in range(1, nsnapt + 1)]
    if nsnapt <= 0:
        r.real("the ignored line after nsnapt 0")
    for k in ("npf", "key"):
        d[k] = r.int(k)
    for k in ("freq", "stime", "f1", "f2", "f3", "f4"):
        d[k] = r.real(k)
    d["maxiter"] = r.int("maxiter")
    d["reduc"] = r.real("reduc")
    nmat = r.int("nmat")
    d["kdel"] = r.int("kdel")
    for k in ("tmute", "xsou", "ysou"):
        d[k] = r.real(k)
    rec = {"nrec": r.int("nrec")}
    for k in RECEIVER_KEYS:
        rec[k] = r.free(k)
    d["receivers"] = rec
    regions = []
    while True:
        n = len(regions) + 1
        reg = {k: r.real(f"{k} of region {n}") for k in REGION_KEYS}
        reg["material"] = r.int(f"material of region {n}")
        if reg["xi"] < 0:
            break
        regions.append(reg)
    d["nmat"] = nmat
    d["regions"] = regions
    return d
