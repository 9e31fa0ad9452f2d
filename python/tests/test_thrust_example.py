"""The thrust example: the script builds what the directory holds, a section of the size and
structure it describes, whose deck and model file pass every check without warnings."""

import importlib.util

import numpy as np
import pytest

from stripwave.deck import read_deck
from stripwave.model import read_model_file
from support import EXAMPLES

THRUST = EXAMPLES / "thrust"


@pytest.fixture(scope="module")
def built():
    found = importlib.util.spec_from_file_location("thrust_build", THRUST / "build_model.py")
    script = importlib.util.module_from_spec(found)
    found.loader.exec_module(script)
    return script.build()


def test_the_example_directory_holds_what_the_script_builds(built, tmp_path):
    model, deck = built
    model.write(tmp_path, deck)
    assert (tmp_path / "inp_A").read_text() == (THRUST / "inp_A").read_text()
    stored, fresh = read_model_file(THRUST / "model.h5"), read_model_file(tmp_path / "model.h5")
    assert stored.reference_frequency == fresh.reference_frequency == 12.0
    assert stored.datasets().keys() == fresh.datasets().keys() == \
        {"vp", "vs", "rho", "qp", "qs", "epsilon", "delta", "tilt"}
    # numpy picks its vectorised sin, exp and power by the processor: the last bit may
    # differ from the machine that wrote the stored file.
    for name, values in fresh.datasets().items():
        np.testing.assert_allclose(values, stored.datasets()[name], rtol=1e-10, atol=1e-9,
                                   err_msg=name)
    assert (THRUST / "model.png").stat().st_size < 300_000


def test_the_section_has_the_structure_it_describes(built):
    model, deck = built
    index, names = model.labels
    unit = {n: index == k for k, n in enumerate(names)}
    assert model.shape == (150, 400) and model.h == 10.0
    assert model.check() == [] and model.deck_messages(deck) == []
    assert model.warnings(deck) == []  # no wrap-around, enough elements per wavelength
    water = unit["sea water"]
    assert water[0].all() and (model.vs[water] == 0).all() and (model.vs[~water] > 0).all()
    gas, brine = unit["gas"], unit["reservoir sand"]
    assert gas.sum() > 100 and brine.sum() > gas.sum()
    assert (model.vp[gas] < model.vp[brine].min()).all()
    assert (model.qp[gas] < model.qp[brine].min()).all()
    depth = (np.arange(150)[:, None] + 0.5) * 10.0 * np.ones((1, 400))
    assert depth[gas].max() < 640.0 < depth[gas].max() + 10.0  # a level gas-water contact
    shale = unit["shale"]
    assert (model.epsilon[shale] == 0.18).all() and np.abs(model.tilt[shale]).max() > 10.0
    assert (model.epsilon[~shale] == 0).all()
    basement = unit["basement"]
    column = basement[:, 100]
    vp = model.vp[column, 100]
    assert (np.diff(vp) > 0).all()  # the basement gradient
    # The thrust lifts the hanging wall: the limestone top is higher left of the ramp
    # (x = 1005 m) than right of it (x = 3505 m), though the layers deepen to the left.
    top = [np.argmax(unit["limestone"][:, i]) for i in (100, 350)]
    assert top[0] < top[1]
    d = read_deck(THRUST / "inp_A")
    assert d["nx"] == 400 and d["ny"] == 150 and d["receivers"]["nrec"] == 191
