"""Input the package cannot use (damaged run files, absurd values, deep or undecodable JSON,
grids and decks beyond what the program reads) ends in one line per problem and a nonzero
status, never a traceback; the hints and fields named in the messages are the right ones."""

import copy
import json

import numpy as np
import pytest

from stripwave import limits
from stripwave.grid import material_map, uncovered
from stripwave.cli import main
from stripwave.model import check_model
from support import DATA, example

SMALL = DATA / "regression" / "layered_small" / "model.json"


def _small():
    return json.loads(SMALL.read_text())


def _refused(capsys, argv, status=1):
    """Runs the command line, which must refuse with `status`; returns the lines it printed."""
    assert main(argv) == status
    err = capsys.readouterr().err
    assert "Traceback" not in err
    lines = err.splitlines()
    assert lines and all(line.startswith(f"stripwave {argv[0]}: ") for line in lines), err
    return lines


def _model_file(tmp_path, change):
    model = _small()
    change(model)
    path = tmp_path / "model.json"
    path.write_text(json.dumps(model))
    return path


def _huge_grid(m, covered=True):
    m["deck"].update(nx=limits.FIELD_I5, ny=limits.FIELD_I5, xsize=1e6, ysize=1e6,
                     xsou=5e5, ysou=5e5)
    m["deck"]["receivers"].update(xinic=10.0, yinic=9e5, xfin=9e5, yfin=9e5)
    m["regions"] = [{"xi": 0.0, "xf": 1e6 if covered else 5e5, "yi": 0.0, "yf": 1e6,
                     "material": 1}]


ABSURD = [
    ("huge density", lambda m: m["materials"][0].update(rho=1e308), False,
     "materials[0]: the modulus rho vp^2 = inf (rho = 1e+308)"),
    ("subnormal density", lambda m: m["materials"][0].update(rho=1e-310), False,
     "materials[0]: rho = 1e-310 is not a normal number"),
    ("huge anisotropy", lambda m: m["materials"][2].update(epsilon=1e308), False,
     "materials[2]: the modulus C11 = inf"),
    ("moduli the attenuation law overflows",
     lambda m: (m["materials"][0].update(rho=1e290, qp=0.001), m["deck"].update(freq=1e-300)),
     False, "materials: line 2 of p_modulus.freq would hold INF"),
    ("huge simulated time", lambda m: m["deck"].update(stime=1e308), False,
     "deck.stime = 1e+308: gives nt = 1.6e+307 time samples"),
    ("more samples than 32 bits count", lambda m: m["deck"].update(stime=1e308), True,
     "deck.stime = 1e+308: gives nt = 1.6e+307 time samples (stime / dt with dt = h / largest "
     "vp = 6.24848), above the program's limit 2147483647"),
    ("a pulse longer than 32 bits count",
     lambda m: m["deck"].update(key=2, freq=1e-300), True,
     "deck.freq = 1e-300: the type-2 pulse lasts 4.221e+301 samples"),
    ("a source at 1e308", lambda m: m["deck"].update(xsou=1e308), False,
     "deck.xsou = 1e+308: the source lies outside the model (x from 0 to 750)"),
    ("200,000 regions", lambda m: m.update(regions=m["regions"] * 70000), True,
     "regions: 210000 regions make a deck of at least 18900000 bytes, more than the 851200 the "
     "program reads for a 30 x 20 grid"),
    ("a huge grid half covered", lambda m: _huge_grid(m, covered=False), True,
     "regions: 4999850001 elements covered by no region, e.g. the one at x = 500010, y = 5"),
]


@pytest.mark.parametrize("change, lift, expected", [c[1:] for c in ABSURD],
                         ids=[c[0] for c in ABSURD])
def test_absurd_values_get_one_line_and_status_1(tmp_path, capsys, change, lift, expected):
    path = _model_file(tmp_path, change)
    argv = ["model", str(path), str(tmp_path / "out")] + (["--lift-limits"] if lift else [])
    lines = _refused(capsys, argv)
    assert len(lines) == 1 and lines[0].startswith(f"stripwave model: {path}: {expected}"), \
        lines
    assert not (tmp_path / "out").exists()


def test_the_uncovered_elements_are_those_the_material_map_leaves_at_0():
    rng = np.random.default_rng(7)
    for _ in range(50):
        nx, ny = rng.integers(1, 40, size=2)
        regions = [{"xi": float(a), "xf": float(b), "yi": float(c), "yf": float(d),
                    "material": 1}
                   for a, b, c, d in rng.uniform(-5.0, 45.0, size=(rng.integers(0, 6), 4))]
        holes = np.argwhere(material_map(nx, ny, 1.0, regions) == 0)
        count, first = uncovered(nx, ny, 1.0, regions)
        assert count == len(holes)
        assert first == (None if count == 0 else (holes[0][1], holes[0][0]))


def test_a_huge_grid_one_region_covers_is_checked_without_a_map_of_it():
    model = _small()
    _huge_grid(model)
    assert check_model(model, lift_limits=True) == []   # a map would take 80 GB


@pytest.mark.parametrize("content, expected", [
    ("[" * 100000 + "]" * 100000, "not a model: lists or objects nested deeper than"),
    ('{"deck": ' + "[" * 100 + "]" * 100 + "}", "nested more than 64 levels deep"),
    (b"\xff\xfe{}", "not valid JSON: byte 1 is not UTF-8 text"),
])
def test_deep_or_undecodable_json_is_refused_in_one_line(tmp_path, capsys, content, expected):
    path = tmp_path / "model.json"
    (path.write_bytes if isinstance(content, bytes) else path.write_text)(content)
    lines = _refused(capsys, ["model", str(path), "--check"])
    assert lines == [f"stripwave model: {path}: {lines[0].split(': ', 2)[2]}"]
    assert expected in lines[0]


@pytest.mark.parametrize("receivers, expected", [
    (dict(xinic=50.0, xfin=2000.0), "deck.receivers.xfin = 2000: receiver 4 at x = 885.714"),
    (dict(xinic=-600.0, xfin=700.0), "deck.receivers.xinic = -600: receiver 1 at x = -600"),
    (dict(yinic=475.0, yfin=-300.0), "deck.receivers.yfin = -300: receiver 6 at y = -78.5714"),
    (dict(xfin=50.0, xinic=2000.0), "deck.receivers.xinic = 2000: receiver 1 at x = 2000"),
])
def test_the_receiver_line_end_named_is_the_one_outside(receivers, expected):
    model = _small()
    model["deck"]["receivers"].update(receivers)
    messages = check_model(model)
    assert len(messages) == 1 and messages[0].startswith(expected), messages


def test_a_unit_hint_is_given_only_where_a_unit_explains_the_value():
    model = example("layered")
    model["materials"][0]["vs"] = 0.01     # 10 m/s: 10 m/ms would be above its vp of 2.5
    [message] = check_model(model)
    assert message.startswith("materials[0].vs = 0.01: 0.01 m/ms is 10 m/s, too slow for rock")
    assert "did you mean" not in message
    model = example("layered")
    model["materials"][0]["vs"] = 0.0012   # 1.2 m/s: meant in km/ms, 1.2 m/ms is below vp
    assert check_model(model)[0].endswith("did you mean 1.2?")
    model = example("layered")
    model["materials"][0]["vp"] = 1e200
    assert "did you mean" not in check_model(model)[0]


def test_damaged_run_files_are_named_in_one_line(layered_run, capsys):
    trace = layered_run / "fort.60"
    good = trace.read_bytes()
    trace.write_bytes(good.replace(b"E", b"\xff", 1))
    [line] = _refused(capsys, ["info", str(layered_run)])
    assert line.startswith(f"stripwave info: {trace}: value 1: not a number") and \
        line.endswith("the trace file is damaged")
    trace.write_bytes(good)

    log = layered_run / "output"
    text = log.read_text()
    log.write_text(text.replace("if1 if2 if3 if4 =", "if1 if2 if3 if4 = \x01x", 1))
    [line] = _refused(capsys, ["export", str(layered_run)])
    assert line.startswith(f"stripwave export: {log}: the log is damaged")

    log.write_text(text.replace("in x-direction nx =    30", "in x-direction nx =     0", 1))
    [line] = _refused(capsys, ["info", str(layered_run)])
    assert "the log 'output' is damaged: nx = 0" in line


def test_a_damaged_snapshot_is_named_when_it_is_read(layered_run, capsys):
    snap = layered_run / "fort.601"
    snap.write_text(snap.read_text().replace("E", "*", 3))
    [line] = _refused(capsys, ["plot", str(layered_run), "-o", str(layered_run / "pics")])
    assert line.startswith(f"stripwave plot: {snap}: value") and "damaged" in line


def test_a_fault_of_the_package_is_one_line_with_status_3(layered_run, capsys, monkeypatch):
    import stripwave.cli as cli
    monkeypatch.setattr(cli, "summary", lambda run: copy.deepcopy(None)[0])
    [line] = _refused(capsys, ["info", str(layered_run)], status=3)
    assert line.startswith("stripwave info: internal error: TypeError")
