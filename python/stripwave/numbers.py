"""Numbers in the layouts the simulator reads and writes.

The program writes reals as `(g15.4)`, `(e20.8)`, `(e15.5)` or list-directed text.  Besides the
usual forms (``0.8541E-01``, ``1.500``, ``1234.``, ``NaN``, ``Infinity``) an exponent of three
digits is written without its letter: ``0.1234-100`` is 0.1234e-100.  Deck fields read with
`(e20.8)` follow the formatted-input rules: blanks are dropped, an all-blank field is zero, and a
field without a decimal point has its last d digits taken as the fraction.
"""

from __future__ import annotations

import re

import numpy as np

# A mantissa followed directly by a signed exponent: the letter was dropped (three digits).
_BARE_EXPONENT = re.compile(r"(\d\.?\d*)([+-]\d{1,3})(?=\s|$)")
_DIGIT_SIGN = re.compile(r"\d[+-]")
_LETTER_EXPONENT = re.compile(r"[DdQq]")

#: One real as the program prints it (used inside larger patterns of the log).
REAL = r"(?:[-+]?(?:\d+\.?\d*|\.\d+)(?:[EeDd][-+]?\d+|[-+]\d{3})?|NaN|[-+]?Infinity|[-+]?Inf)"


def parse_real(text: str) -> float:
    """One real in any layout the program writes (g, e, f or list-directed form)."""
    s = text.strip()
    if not s:
        raise ValueError("empty field where a number was expected")
    s = _LETTER_EXPONENT.sub("E", s)
    s = _BARE_EXPONENT.sub(r"\1E\2", s)
    try:
        return float(s)
    except ValueError:
        raise ValueError(f"not a number: {text.strip()!r}") from None


def parse_values(text: str) -> np.ndarray:
    """All reals of a one-value-per-line file, in order (blank lines hold no value)."""
    if _DIGIT_SIGN.search(text):
        text = _BARE_EXPONENT.sub(r"\1E\2", text)
    if "D" in text or "d" in text:
        text = text.replace("D", "E").replace("d", "E")
    fields = text.split()
    try:
        return np.array(fields, dtype=np.float64)
    except ValueError:
        for n, field in enumerate(fields, 1):
            try:
                float(field)
            except ValueError:
                raise ValueError(f"value {n}: not a number: {field!r}") from None
        raise


def read_values(path) -> np.ndarray:
    """All reals of a `(g15.4)` output file such as fort.60 or fort.601."""
    with open(path, encoding="ascii", errors="replace") as f:
        text = f.read()
    try:
        return parse_values(text)
    except ValueError as err:
        raise ValueError(f"{path}: {err}") from None


def _field(line: str, width: int) -> str:
    """The first `width` columns of a record, ended early by a comma, without blanks."""
    text = line.rstrip("\r\n")[:width]
    text = text.split(",", 1)[0]
    return "".join(text.split(" "))


def read_int_field(line: str, width: int = 5) -> int:
    """An `(iw)` field: an integer in the first `width` columns; all blank reads as 0."""
    text = _field(line, width)
    if "\t" in text:
        raise ValueError(f"a tab in the integer field of columns 1-{width}: {line.rstrip()!r}")
    if not text:
        return 0
    try:
        return int(text)
    except ValueError:
        raise ValueError(f"not an integer in columns 1-{width}: {line.rstrip()!r}") from None


def read_real_field(line: str, width: int = 20, digits: int = 8) -> float:
    """An `(ew.d)` field: a real in the first `width` columns.

    A field without a decimal point has its last `digits` mantissa digits as the fraction,
    as the formatted read does ("5" read with e20.8 is 5e-8).
    """
    text = _field(line, width)
    if not text:
        return 0.0
    if re.fullmatch(r"[-+]?(?:nan|inf|infinity)", text, re.IGNORECASE):
        return float(text)
    m = re.fullmatch(r"([-+]?)(\d*)(\.?)(\d*)(?:[EeDdQq]([-+]?\d+)|([-+]\d+))?", text)
    if not m:
        raise ValueError(f"not a real in columns 1-{width}: {line.rstrip()!r}")
    sign, whole, point, frac, exp1, exp2 = m.groups()
    exponent = int(exp1 or exp2 or 0)
    # Built as decimal text so that the conversion rounds once, as the formatted read does.
    if point:
        value = float(f"{whole or '0'}.{frac or '0'}e{exponent}")
    else:
        value = float(f"{whole or '0'}e{exponent - digits}")
    if not (whole or frac):
        return value  # a field without digits ("-", ".", "e3") reads as +0
    return -value if sign == "-" else value


def read_free_field(line: str) -> float:
    """The first value of a free-form record (blank, comma or semicolon separated)."""
    for token in re.split(r"[\s,;]+", line.strip()):
        if token:
            if "*" in token:  # r*c repeat form: the value is c
                token = token.split("*", 1)[1]
            return parse_real(token)
    raise ValueError(f"no value in free-form record {line.rstrip()!r}")
