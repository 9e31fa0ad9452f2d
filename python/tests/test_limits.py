"""The program's limits and the units table, each defined once: the limits are the simulator's
own, the model checks and the command line take them from there, and the package's modules
import each other without a circle."""

import ast
import json
import re

import pytest

from stripwave import limits
from stripwave.cli import main
from stripwave.model import check_model
from stripwave.units import FREQUENCY_UNITS, TIME_UNITS
from support import ROOT, example

PACKAGE = ROOT / "python" / "stripwave"


def _cpp_constants(path):
    text = (ROOT / path).read_text()
    return {m.group(1): int(m.group(2))
            for m in re.finditer(r"constexpr int (k\w+) = (\d+);", text)}


def test_the_limits_are_those_of_the_simulator():
    cpp = _cpp_constants("src/model/run_params.hpp")
    assert (limits.GRID, limits.FREQUENCY_SNAPSHOTS, limits.TIME_SNAPSHOTS, limits.MATERIALS,
            limits.FREQUENCIES, limits.SAMPLES, limits.RECEIVERS) == \
        (cpp["kMaxGrid"], cpp["kMaxFreqSnaps"], cpp["kMaxTimeSnaps"], cpp["kMaxMaterials"],
         cpp["kMaxFreqs"], cpp["kMaxSamples"], cpp["kMaxReceivers"])
    bound = (ROOT / "src" / "input" / "reject.cpp").read_text()
    assert "return 256 * records + 65536;" in bound
    assert limits.input_size_bound(10) == 256 * 10 + 65536


def _layered_with(**deck):
    model = example("layered")
    model["deck"].update(deck)
    return model


@pytest.mark.parametrize("deck, lift, expected", [
    (dict(nx=limits.GRID + 1), False, f"deck.nx = {limits.GRID + 1}: must be at most "
                                      f"{limits.GRID}"),
    (dict(ny=limits.FIELD_I5 + 1), True, "deck.ny = 100000: must be at most 99999 (elements "
                                         "along y)"),
    (dict(npf=limits.FIELD_I5 + 1), True, "deck.npf = 100000: must be at most 99999"),
    (dict(maxiter=limits.FIELD_I5 + 1), True, "deck.maxiter = 100000: must be at most 99999"),
    (dict(fsnap=[0.01] * 4), True, "deck.fsnap: 4 items, at most 3"),
    (dict(receivers={"nrec": 1, "xinic": 50.0, "yinic": 950.0, "xfin": 50.0, "yfin": 950.0}),
     True, "deck.receivers.nrec = 1: must be at least 2"),
])
def test_the_model_checks_hold_the_limits_and_lifting_leaves_the_decks_fields(deck, lift,
                                                                             expected):
    messages = check_model(_layered_with(**deck), lift_limits=lift)
    assert messages and messages[0].startswith(expected), messages


def test_more_materials_than_the_deck_can_declare_are_refused():
    model = example("layered")
    model["materials"] += [dict(model["materials"][0])] * (limits.MATERIALS - 4)
    assert check_model(model) == []                       # 19 materials: nmat 20
    model["materials"].append(dict(model["materials"][0]))
    assert check_model(model) == [f"materials: {limits.MATERIALS} items, at most "
                                  f"{limits.MATERIALS - 1}"]


def test_every_time_unit_of_a_run_may_be_stated_by_a_model(tmp_path, capsys):
    model = example("homogeneous")
    model["units"] = {"time": "us"}
    for mat in model["materials"]:
        for key in ("vp", "vs"):
            mat[key] /= 1000.0             # m/ms -> m/us
    for key in ("freq", "f1", "f2", "f3", "f4"):
        model["deck"][key] /= 1000.0       # kHz -> MHz
    for key in ("stime", "tmute"):
        model["deck"][key] *= 1000.0
    model["deck"]["tsnap"] = [t * 1000.0 for t in model["deck"].get("tsnap", [])]
    path = tmp_path / "model.json"
    path.write_text(json.dumps(model))
    assert main(["model", str(path), "--check"]) == 0
    out = capsys.readouterr().out
    assert "us, nt = " in out and f" {FREQUENCY_UNITS['us']} (Nyquist" in out
    assert set(FREQUENCY_UNITS) == set(TIME_UNITS)


def _imports(path):
    """The package modules a module imports when it is loaded (not inside functions)."""
    tree = ast.parse(path.read_text())
    out = set()
    for node in tree.body:
        if isinstance(node, ast.ImportFrom) and node.level == 1:
            if node.module:
                out.add(node.module.split(".")[0])
            else:
                out.update(a.name for a in node.names)
    return out


def test_the_package_modules_import_each_other_without_a_circle():
    graph = {p.stem: _imports(p) for p in PACKAGE.glob("*.py") if p.stem != "__init__"}
    assert "run" not in graph["export"]
    done, active = set(), []

    def visit(name):
        if name in active:
            pytest.fail("import circle: " + " -> ".join(active[active.index(name):] + [name]))
        if name in done or name not in graph:
            return
        active.append(name)
        for dep in sorted(graph[name]):
            visit(dep)
        active.pop()
        done.add(name)

    for module in sorted(graph):
        visit(module)
