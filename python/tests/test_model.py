"""Model descriptions: every bad model gets one message naming the field and value and nothing
is written; good ones give the decks and tables the program reads."""

import copy
import json

import pytest

from stripwave.deck import read_deck
from stripwave.materials import nmat_for, program_velocities
from stripwave.model import (ModelError, beyond_established_limits, build_model, check_model,
                             derived, load_model, model_files, warnings)
from stripwave.run import read_run
from support import DATA, EXAMPLES, example, simulate


def _layered():
    return example("layered")


def _set(path, value):
    def change(m):
        *head, last = path
        node = m
        for k in head:
            node = node[k]
        node[last] = value
    return change


def _rename(path, old, new):
    def change(m):
        node = m
        for k in path:
            node = node[k]
        node[new] = node.pop(old)
    return change


def _delete(path, key):
    def change(m):
        node = m
        for k in path:
            node = node[k]
        del node[key]
    return change


def _velocities_in_m_per_s(m):
    for mat in m["materials"]:
        for k in ("vp", "vs", "vp0", "vs0"):
            if k in mat:
                mat[k] *= 1000.0


def _frequencies_in_hz(m):
    for k in ("freq", "f3", "f4"):
        m["deck"][k] *= 1000.0


def _snapshot_past_period(m):
    m["deck"]["npf"] = 24   # delf 0.0025: the sums repeat after 400 ms
    m["deck"]["tsnap"] = [150.0, 450.0]


BAD_MODELS = [
    ("misspelt key Vp", _rename(["materials", 0], "vp", "Vp"),
     "materials[0]: unknown key 'Vp' (did you mean 'vp'?)"),
    ("typo Qs", _rename(["materials", 0], "qs", "Qs"),
     "materials[0]: unknown key 'Qs' (did you mean 'qs'?)"),
    ("negative qp", _set(["materials", 0, "qp"], -60), "materials[0].qp = -60: must be positive"),
    ("fractional nx", _set(["deck", "nx"], 30.5), "deck.nx = 30.5: must be an integer"),
    ("nx above the limit", _set(["deck", "nx"], 601), "deck.nx = 601: must be at most 600"),
    ("text for a number", _set(["deck", "receivers", "nrec"], "30"),
     "deck.receivers.nrec = '30': must be an integer"),
    ("missing key", _delete(["deck"], "stime"), "deck: missing key 'stime'"),
    ("unknown top-level key", _set(["comment"], "x"), "model: unknown key 'comment'"),
    ("no source pattern", _set(["deck", "kdel"], 0), "deck.kdel = 0: must be one of 1, 2, 3"),
    ("zero density", _set(["materials", 1, "rho"], 0), "materials[1].rho = 0: must be positive"),
    ("vs above vp", _set(["materials", 0, "vs"], 2.6), "materials[0].vs = 2.6: not below vp = 2.5"),
    ("anisotropic stiffness not positive definite",
     lambda m: m["materials"][2].update(epsilon=-0.4, delta=1.0),
     "materials[2]: epsilon = -0.4, delta = 1 give a stiffness that is not positive definite"),
    ("anisotropic material not third",
     lambda m: m["materials"].insert(0, m["materials"].pop(2)),
     "materials[0].kind = 'vti': only material 3 can be anisotropic"),
    ("region material beyond the list", _set(["regions", 0, "material"], 4),
     "regions[0].material = 4: the model has 3 materials"),
    ("velocities in m/s", _velocities_in_m_per_s,
     "materials[0].vp = 2500 (and 5 more): 2500 m/ms is 2.5e+06 m/s, too fast for rock"),
    ("frequencies in Hz", _frequencies_in_hz,
     "deck.f4 = 60: above the Nyquist frequency 0.200046 of the time step dt = 2.49943 "
     "(1 / (2 dt)); it looks like Hz"),
    ("f4 above Nyquist", _set(["deck", "f4"], 0.3),
     "deck.f4 = 0.3: above the Nyquist frequency 0.2007"),
    ("source outside", _set(["deck", "ysou"], 1200.0),
     "deck.ysou = 1200: the source lies outside the model (y from 0 to 1000)"),
    ("receivers outside", _set(["deck", "receivers", "xfin"], 1600.0),
     "deck.receivers.xfin = 1600: receiver 29 at x = 1548.28 lies outside the model "
     "(x from 0 to 1500)"),
    ("region outside", _set(["regions", 2, "yf"], 1200.0),
     "regions[2].yf = 1200: outside the model (y from 0 to 1000)"),
    ("regions not covering the grid", lambda m: m["regions"].pop(),
     "regions: 4500 elements covered by no region, e.g. the one at x = 5, y = 705"),
    ("too many samples", _set(["deck", "stime"], 7000.0),
     "deck.stime = 7000: gives nt = 2800 time samples"),
    ("snapshot after stime", _set(["deck", "tsnap"], [150.0, 700.0]),
     "deck.tsnap[1] = 700: past stime = 600"),
    ("snapshot past the period", _snapshot_past_period,
     "deck.tsnap[1] = 450: past the period 1/delf = 400"),
    ("dominant frequency above the band", _set(["deck", "freq"], 0.1),
     "deck.freq = 0.1: above f4 = 0.06"),
    ("band corners out of order", _set(["deck", "f3"], 0.08), "deck.f3 = 0.08: above f4 = 0.06"),
]


@pytest.mark.parametrize("change, expected", [c[1:] for c in BAD_MODELS],
                         ids=[c[0] for c in BAD_MODELS])
def test_a_bad_model_gets_one_message_and_nothing_is_written(tmp_path, change, expected):
    model = _layered()
    change(model)
    messages = check_model(model)
    assert len(messages) == 1, messages
    assert messages[0].startswith(expected), messages[0]
    out = tmp_path / "out"
    with pytest.raises(ModelError):
        build_model(model, out)
    assert not out.exists()


@pytest.mark.parametrize("text, expected", [
    ('{"deck": 1,}', "not valid JSON: line 1, column 12"),
    ('{"deck": {}, "deck": {}}', "duplicate key 'deck'"),
    ('{"deck": NaN}', "NaN is not a number JSON allows"),
])
def test_a_file_that_is_not_json_is_named(tmp_path, text, expected):
    path = tmp_path / "model.json"
    path.write_text(text)
    with pytest.raises(ModelError, match=expected):
        load_model(path)


@pytest.mark.parametrize("source, reference", [
    *[(EXAMPLES / n / "model.json", EXAMPLES / n)
      for n in ("layered", "homogeneous", "reflector", "section")],
    (DATA / "regression" / "layered_small" / "model.json", DATA / "regression" / "layered_small" / "input"),
    (DATA / "regression" / "aniso_kdel2" / "model.json", DATA / "regression" / "aniso_kdel2" / "input"),
    (DATA / "regression" / "noconv_layered" / "model.json", DATA / "regression" / "noconv_layered" / "input"),
], ids=["layered", "homogeneous", "reflector", "section", "layered_small", "aniso_kdel2",
        "noconv_layered"])
def test_committed_decks_and_tables_are_reproduced_byte_for_byte(source, reference):
    files = model_files(load_model(source))
    for name, text in files.items():
        assert (reference / name).read_text() == text, name


@pytest.mark.parametrize("name", ["layered", "homogeneous", "reflector", "section"])
def test_every_example_is_valid(name):
    model = example(name)
    assert check_model(model) == []


@pytest.mark.parametrize("count, nmat", [(1, 2), (2, 3), (3, 3), (4, 5), (19, 20)])
def test_every_material_gets_the_tables_the_program_reads_for_it(count, nmat):
    assert nmat_for(count) == nmat


def test_three_isotropic_materials_fill_the_anisotropic_slot_with_isotropic_constants(tmp_path):
    model = _layered()
    model["materials"][2] = {"kind": "isotropic", "name": "shale", "vp": 3.0, "vs": 1.6,
                             "rho": 2.4, "qp": 50, "qs": 25}
    assert check_model(model) == []
    build_model(model, tmp_path)
    deck = read_deck(tmp_path / "inp_A")
    assert deck["nmat"] == 3
    files = {p.name: p.read_text() for p in tmp_path.iterdir()}
    v = program_velocities(files, 3, 48)
    # vp of materials 1, 2, then the horizontal and vertical P velocity of material 3
    assert v["vp"][2] == pytest.approx(v["vp"][3], rel=1e-12)
    assert v["vp"][2] == pytest.approx(3.0, rel=2e-3)
    assert v["vs"][2] == pytest.approx(1.6, rel=2e-3)
    p11 = files["p11_interp.freq"].splitlines()
    p33 = files["p33_interp.freq"].splitlines()
    assert p11 == p33


def test_more_materials_than_the_slots_get_a_spare_material_no_region_uses(tmp_path):
    model = _layered()
    model["materials"].append({"kind": "isotropic", "name": "salt", "vp": 4.5, "vs": 2.6,
                               "rho": 2.15})
    model["regions"].append({"xi": 600.0, "xf": 900.0, "yi": 100.0, "yf": 300.0, "material": 4})
    assert check_model(model) == []
    der = derived(model)
    assert der["nmat"] == 5
    files = der["files"]
    assert files["p_modulus.freq"].count("\n") == 4 * (1 + 48)       # materials 1 .. 4
    assert files["p11_interp.freq"].count("\n") == 3 * (2 + 48)      # materials 3 .. 5
    assert max(der["vp"]) == pytest.approx(4.5, rel=1e-12)           # salt is elastic
    assert min(der["vp"]) == pytest.approx(2.5, rel=1e-3)


def test_the_program_velocities_and_time_step_are_those_of_the_log(layered_run):
    from stripwave.log import read_log
    log = read_log(layered_run)
    der = derived(load_model(layered_run / "model.json"))
    echoed = [log.velocities[("vp", 1)], log.velocities[("vp", 2)], log.velocities[("vph", 3)],
              log.velocities[("vpv", 3)]]
    assert der["vp"] == echoed                  # 17 digits: the same doubles
    assert der["dt"] == pytest.approx(log.dt, rel=1e-8)
    assert der["nt"] == log.nt


def test_deck_values_read_back_as_written(tmp_path):
    model = _layered()
    model["deck"]["freq"] = 0.0123456789012   # more digits than six decimals hold
    model["deck"]["reduc"] = 1e-12
    build_model(model, tmp_path)
    deck = read_deck(tmp_path / "inp_A")
    for key, value in model["deck"].items():
        if key != "receivers":
            assert deck[key] == value, key
    assert deck["receivers"] == model["deck"]["receivers"]
    assert [{k: r[k] for k in ("xi", "xf", "yi", "yf", "material")} for r in deck["regions"]] \
        == model["regions"]


def test_warnings_for_coarse_grids_and_traces_past_the_period():
    model = _layered()
    model["deck"]["npf"] = 24
    model["deck"]["tsnap"] = [150.0]
    model["deck"]["nx"], model["deck"]["ny"] = 50, 34
    text = " ".join(warnings(model))
    assert "elements per S wavelength" in text
    assert "past the period 1/delf = 400" in text


def test_the_schema_is_a_valid_draft_2020_12_schema():
    import jsonschema
    from stripwave.model import schema
    jsonschema.Draft202012Validator.check_schema(schema())


def _long_line():
    """A 6.4 km line at 10 m, 4 elements deep, with more snapshots and receivers than the
    program's established limits allow; one pass per frequency keeps it cheap."""
    m = _layered()
    d = m["deck"]
    d.update(nx=640, ny=4, xsize=6400.0, ysize=40.0, xsou=3200.0, ysou=20.0, npf=4, f4=0.06,
             stime=60.0, maxiter=1, maxlow=1, tsnap=[5.0 + 1.5 * k for k in range(30)])
    d["receivers"] = {"nrec": 210, "xinic": 100.0, "yinic": 30.0, "xfin": 6300.0, "yfin": 30.0}
    m["regions"] = [{"xi": 0.0, "xf": 6400.0, "yi": 0.0, "yf": 40.0, "material": 1}]
    return m


def test_models_beyond_the_established_limits_need_lift_limits(tmp_path):
    m = _long_line()
    refused = check_model(m)
    for field in ("deck.nx = 640", "deck.tsnap: 30 items", "deck.receivers.nrec = 210"):
        assert any(r.startswith(field) for r in refused), (field, refused)
    with pytest.raises(ModelError):
        build_model(m, tmp_path / "refused")
    assert not (tmp_path / "refused").exists()

    assert check_model(m, lift_limits=True) == []
    assert beyond_established_limits(m) == ["nx = 640 (limit 600)", "snapshots = 30 (limit 25)",
                                            "receivers = 210 (limit 200)"]


def test_a_model_built_beyond_the_limits_runs_with_lift_limits(tmp_path, binary):
    run = read_run(simulate(binary, _long_line(), tmp_path / "run", "--lift-limits"))
    assert run.traces.vx.shape[0] == 210 and len(run.snapshots) == 30
    assert run.snapshots[0].x.size == 640


@pytest.mark.parametrize("name,npf", [("homogeneous", 37), ("layered", 117),
                                      ("reflector", 67), ("section", 144)])
def test_the_examples_records_need_the_npf_the_simulator_names(name, npf):
    # The simulator warns of the same records with the same rule
    # (tests/input/record_period_test.cpp holds it to these npfs).
    text = " ".join(warnings(example(name)))
    assert f"npf = {npf} (period" in text
