"""Numbers in every layout the program writes and reads, checked against the runtime vectors."""

import json
import math
import struct

import numpy as np
import pytest

from stripwave.numbers import (parse_real, parse_values, read_free_field, read_int_field,
                               read_real_field)
from support import DATA

VECTORS = DATA / "format_vectors"
DIGITS = {"(g15.4)": 4, "(e20.8)": 8, "(e15.5)": 5, "(e12.5)": 5, "(e20.12)": 12,
          "(g20.8)": 8, "(g15.8)": 8, "(e20.7)": 7}


def _double(value: dict) -> float:
    return struct.unpack(">d", bytes.fromhex(value["bits"]))[0]


def _written(layout):
    for line in (VECTORS / "write_vectors.jsonl").read_text().splitlines():
        v = json.loads(line)
        if v["group"] == "single" and v["layout"] == layout:
            yield v["id"], _double(v["values"][0]), v["records"][0]


def _reads_back(value: float, got: float, digits: int) -> bool:
    if math.isnan(value):
        return math.isnan(got)
    if math.isinf(value) or value == 0:
        return got == value
    if math.isinf(got):
        return abs(value) > 1e308  # the largest doubles round up past the range when printed
    # d significant digits (g may round once more at a decade boundary)
    return abs(got - value) <= 1.001 * 10.0 ** (1 - digits) * abs(value)


@pytest.mark.parametrize("layout", sorted(DIGITS))
def test_every_written_real_reads_back_to_its_printed_precision(layout):
    cases = list(_written(layout))
    assert cases
    wrong = [(vid, value, record) for vid, value, record in cases
             if not _reads_back(value, parse_real(record), DIGITS[layout])]
    assert wrong == []


def test_a_file_of_values_reads_every_form_including_exponents_without_letter():
    text = ("     0.8541E-01\n    -0.3626E-02\n     0.1234-100\n    -0.5000+101\n"
            "      1.500    \n      1234.    \n     -0.000    \n       Infinity\n"
            "            NaN\n\n")
    got = parse_values(text)
    assert got[:7].tolist() == [0.08541, -0.003626, 0.1234e-100, -0.5e101, 1.5, 1234.0, -0.0]
    assert np.isinf(got[7]) and np.isnan(got[8]) and got.size == 9


def test_a_bad_value_names_its_place():
    with pytest.raises(ValueError, match="value 2: not a number: '0.1x'"):
        parse_values("1.0\n0.1x\n")


def _read_cases():
    for line in (VECTORS / "read_vectors.jsonl").read_text().splitlines():
        v = json.loads(line)
        op = v["ops"][0]
        if not v["input_lines"] or op.get("layout") not in ("(i5)", "(e20.8)", "(e20.12)") \
                or op.get("items") not in (["int32"], ["real64"]):
            continue
        if v["outcome"] != "ok" and v["error"]["op"] != 1:
            continue
        if v["outcome"] == "ok":
            value = v["results"][0]["values"][0]
            expected = value["value"] if value["type"] == "int32" else _double(value)
        else:
            expected = None
        yield v["id"], op["layout"], v["input_lines"][0], expected


def _read(layout, line):
    try:
        if layout == "(i5)":
            return read_int_field(line)
        return read_real_field(line, 20, int(layout[5:-1]))
    except ValueError:
        return None


def _same(a, b) -> bool:
    if a is None or b is None:
        return a is b
    if isinstance(a, float) and math.isnan(a):
        return isinstance(b, float) and math.isnan(b)
    return a == b and math.copysign(1, a) == math.copysign(1, b)


def test_deck_fields_read_as_the_formatted_read_does():
    cases = list(_read_cases())
    assert len(cases) > 100
    wrong = [(vid, line, expected, _read(layout, line)) for vid, layout, line, expected in cases
             if not _same(_read(layout, line), expected)]
    assert wrong == []


@pytest.mark.parametrize("line, expected", [
    ("100.0", 100.0), ("  950.0, 3", 950.0), ("1.5D2 7", 150.0), ("2*4.5", 4.5), ("-3;1", -3.0)])
def test_free_form_takes_the_first_value_of_the_record(line, expected):
    assert read_free_field(line) == expected
