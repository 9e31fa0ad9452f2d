"""Gridded models: checks that name the dataset and the first bad element, the deck and model
file they write, resampling of SEG-Y sections by slowness, smoothing, layers with gradients,
faults and bodies, and the warning on arrivals past the period of the frequency sampling."""

import math

import h5py
import numpy as np
import pytest
import segyio

from stripwave.deck import read_deck
from stripwave.model import (Body, Fault, GriddedModel, Layer, ModelError, from_segy,
                             gardner_density, layered_model, read_model_file, resample)
from stripwave.timing import consistent_npf, npf_for_period


def _uniform(ny=6, nx=8, h=10.0, **extra):
    vp = np.full((ny, nx), 2500.0)
    return GriddedModel.from_arrays(h, vp, vp / 2.0, np.full((ny, nx), 2.2), **extra)


def _deck(**change):
    deck = {"maxlow": 50, "perclow": 0.2, "npf": 40, "key": 1, "freq": 0.02, "stime": 200.0,
            "f1": 0.0, "f2": 0.0, "f3": 0.04, "f4": 0.05, "maxiter": 100, "reduc": 0.001,
            "kdel": 1, "tmute": 0.0, "xsou": 40.0, "ysou": 30.0, "tsnap": [50.0],
            "receivers": {"nrec": 4, "xinic": 5.0, "yinic": 55.0, "xfin": 75.0, "yfin": 55.0}}
    deck.update(change)
    return deck


def _set(name, row, column, value):
    def change(m):
        a = np.array(getattr(m, name), dtype=float)
        a[row, column] = value
        setattr(m, name, a)
    return change


def _add(**arrays):
    def change(m):
        for k, v in arrays.items():
            setattr(m, k, np.full(m.shape, v))
    return change


BAD = [
    ("not finite", _set("vp", 2, 3, np.nan),
     "vp: element (ix, iy) = (4, 4) [row 2, column 3] = nan: not finite"),
    ("infinite density", _set("rho", 0, 7, np.inf),
     "rho: element (ix, iy) = (8, 6) [row 0, column 7] = inf: not finite"),
    ("negative vp", _set("vp", 5, 0, -2500.0),
     "vp: element (ix, iy) = (1, 1) [row 5, column 0] = -2500: must be positive"),
    ("negative vs", _set("vs", 1, 1, -1.0),
     "vs: element (ix, iy) = (2, 5) [row 1, column 1] = -1: must not be negative"),
    ("vs not below vp", _set("vs", 3, 2, 2500.0),
     "vs: element (ix, iy) = (3, 3) [row 3, column 2] = 2500: not below vp"),
    ("Q not positive", lambda m: (_add(qp=50.0, qs=30.0)(m), _set("qs", 4, 6, 0.0)(m)),
     "qs: element (ix, iy) = (7, 2) [row 4, column 6] = 0: must be positive"),
    ("qp without qs", _add(qp=50.0), "qp: given without qs"),
    ("epsilon without delta", _add(epsilon=0.1), "epsilon: given without delta"),
    ("no real C13", lambda m: (_add(epsilon=0.1, delta=-0.5)(m)),
     "delta: element (ix, iy) = (1, 6) [row 0, column 0] = -0.5: gives no real C13"),
    ("stiffness not positive definite",
     lambda m: (_add(epsilon=0.1, delta=0.0)(m), _set("epsilon", 2, 5, -0.6)(m)),
     "epsilon: element (ix, iy) = (6, 4) [row 2, column 5] = -0.6: with delta there, a "
     "stiffness that is not positive definite"),
    ("shape mismatch", lambda m: setattr(m, "rho", np.full((6, 7), 2.2)),
     "rho: shape (6, 7), expected (ny, nx) = (6, 8) as vp"),
]


@pytest.mark.parametrize("case, change, expected", BAD, ids=[b[0] for b in BAD])
def test_bad_properties_name_the_dataset_and_the_first_bad_element(tmp_path, case, change,
                                                                   expected):
    m = _uniform()
    change(m)
    messages = m.check()
    assert len(messages) == 1 and messages[0].startswith(expected), messages
    with pytest.raises(ModelError):
        m.write(tmp_path / "out", _deck())
    assert not (tmp_path / "out").exists()


def test_fluids_and_anisotropic_elements_that_are_valid_pass():
    m = _uniform(epsilon=np.full((6, 8), 0.2), delta=np.full((6, 8), 0.1),
                 tilt=np.full((6, 8), 30.0), qp=np.full((6, 8), 80.0), qs=np.full((6, 8), 40.0))
    m.vs[:2] = 0.0
    m.epsilon[:2] = m.delta[:2] = 0.0  # an isotropic fluid: C11 C33 = C13^2 exactly
    assert m.check() == []


def test_missing_density_follows_gardner_and_missing_vs_a_ratio():
    vp = np.array([[1800.0, 2500.0], [3600.0, 4200.0]])
    m = GriddedModel.from_arrays(5.0, vp / 1000.0, vp_vs=2.0, velocity_unit="km/s")
    assert np.allclose(m.vp, vp)
    assert np.allclose(m.vs, vp / 2.0)
    assert m.rho[1, 0] == pytest.approx(0.31 * 3600.0 ** 0.25)  # 2.4086 g/cm3
    assert gardner_density(2000.0) == pytest.approx(2.07309, rel=1e-5)
    with pytest.raises(ModelError, match="vp_vs"):
        GriddedModel.from_arrays(5.0, vp)


def test_the_deck_and_the_model_file_follow_the_layout(tmp_path):
    m = _uniform(qp=np.full((6, 8), 80.0), qs=np.full((6, 8), 40.0))
    m.vp[0, 0] = 2600.0  # the element (1, ny) at the top left
    m.vs[5, :] = 0.0
    deck_path, model_path = m.write(tmp_path, _deck())
    deck = read_deck(deck_path)
    assert (deck["nx"], deck["ny"], deck["xsize"], deck["ysize"]) == (8, 6, 80.0, 60.0)
    assert deck["nmat"] == 2 and deck["regions"] == []
    assert deck["receivers"] == _deck()["receivers"] and deck["tsnap"] == [50.0]
    with h5py.File(model_path) as f:
        assert sorted(f) == ["qp", "qs", "rho", "vp", "vs"]
        assert f.attrs["reference_frequency"] == pytest.approx(20.0)  # the deck's freq in Hz
        assert {k: f[k].attrs["units"] for k in f} == {"vp": "m/s", "vs": "m/s",
                                                      "rho": "g/cm3", "qp": "1", "qs": "1"}
        assert f["vp"].shape == (6, 8) and f["vp"].dtype == np.float64
        assert f["vp"][0, 0] == 2600.0 and f["vs"][5, 3] == 0.0
    back = read_model_file(model_path)
    assert back.h == 10.0  # from the deck beside it
    for name, values in m.datasets().items():
        assert np.array_equal(getattr(back, name), values), name


def test_a_model_file_in_km_s_and_kg_m3_reads_in_m_s_and_g_cm3(tmp_path):
    path = tmp_path / "m.h5"
    with h5py.File(path, "w") as f:
        f.attrs["reference_frequency"] = 25.0
        for name, value, unit in (("vp", 3.0, "km/s"), ("vs", 1.5, "km/s"),
                                  ("rho", 2400.0, "kg/m3")):
            f.create_dataset(name, data=np.full((3, 4), value, dtype=">f4")).attrs["units"] = unit
    m = read_model_file(path, h=5.0)
    assert m.vp[0, 0] == 3000.0 and m.vs[2, 3] == 1500.0 and m.rho[1, 1] == pytest.approx(2.4)
    with h5py.File(path, "a") as f:
        f["vs"].attrs["units"] = "ft/s"
    with pytest.raises(ModelError, match="vs: units attribute 'ft/s'"):
        read_model_file(path)


def test_the_deck_must_fit_the_model_and_pass_the_deck_checks(tmp_path):
    m = _uniform()
    assert m.deck_messages(_deck()) == []
    assert m.deck_messages(_deck(nx=9))[0].startswith("deck.nx = 9: the model has 8 columns")
    assert m.deck_messages(_deck(xsize=100.0))[0].startswith("deck.xsize = 100.0: the model is "
                                                             "80 m")
    assert m.deck_messages(_deck(xsou=95.0))[0].startswith("deck.xsou = 95: the source lies "
                                                           "outside the model")
    # dt = h / fastest P = 10 / 2.5 = 4 ms: Nyquist 0.125 kHz
    assert m.deck_messages(_deck(f4=0.2, f3=0.1))[0].startswith("deck.f4 = 0.2: above the "
                                                                "Nyquist frequency 0.125")
    with pytest.raises(ModelError):
        m.write(tmp_path / "refused", _deck(nx=9))
    assert not (tmp_path / "refused").exists()


def test_arrivals_past_the_period_are_warned_of_with_the_npf_that_holds_them():
    m = _uniform(ny=50, nx=100)  # 1000 m x 500 m, slowest S 1250 m/s
    cross = math.hypot(1000.0, 500.0) / 1.25  # 894.4 ms
    text = " ".join(m.warnings(_deck(stime=200.0, npf=40)))  # period 800 ms
    need = math.ceil((200.0 + cross) * 0.05)  # 55 (1100 ms)
    assert consistent_npf(need, 0.05)
    assert "past the period 1/delf = 800" in text and f"npf = {need} (period 1100)" in text
    assert m.warnings(_deck(stime=200.0, npf=need)) == []
    m.vs[:10] = 0.0  # water at 2500 m/s: the S wave stays the slowest
    assert "slowest S wave" in " ".join(m.warnings(_deck(npf=40)))
    assert npf_for_period(1000.0, 0.05) == 50 and npf_for_period(1000.1, 0.05) == 51


# ------------------------------------------------------------------------------ SEG-Y

def _write_segy(path, values, dz, dx, x0=1000.0):
    """A depth section: traces of values[:, k] at CDP x = x0 + k dx (in cm, scalar -100)."""
    layout = segyio.spec()
    layout.format = 5
    layout.samples = np.arange(values.shape[0]) * dz  # segyio keeps the interval in thousandths
    layout.tracecount = values.shape[1]
    with segyio.create(str(path), layout) as f:
        for k in range(values.shape[1]):
            f.header[k] = {segyio.TraceField.SourceGroupScalar: -100,
                           segyio.TraceField.CDP_X: int(round((x0 + k * dx) * 100))}
            f.trace[k] = values[:, k].astype(np.float32)
        f.bin.update(hns=values.shape[0])
    return path


def test_segy_sections_are_resampled_by_mean_slowness_over_each_element(tmp_path):
    rng = np.random.default_rng(7)
    dz, dx, h = 2.5, 4.0, 10.0
    vp = np.round(rng.uniform(1800.0, 4500.0, (48, 35)))  # 120 m deep, 140 m wide
    vp[:, :3] = [2000.0, 2000.0, 4000.0]
    path = _write_segy(tmp_path / "vp.sgy", vp, dz, dx)
    m = from_segy(path, h, vp_vs=1.8)
    assert m.shape == (12, 14) and m.h == h
    # The top left element: two whole traces of 2000 and 2 m of the 4000 one.
    assert m.vp[0, 0] == pytest.approx(1.0 / (0.8 / 2000.0 + 0.2 / 4000.0))  # 2222.2, not 2400
    # Every element against the section refined to 0.5 m cells and averaged by blocks.
    fine = np.repeat(np.repeat(1.0 / vp, 5, axis=0), 8, axis=1)[:240, :280]
    blocks = fine.reshape(12, 20, 14, 20).mean(axis=(1, 3))
    assert np.allclose(m.vp, 1.0 / blocks, rtol=1e-12)
    assert np.allclose(m.vs, m.vp / 1.8) and np.allclose(m.rho, 0.31 * m.vp ** 0.25)


def test_resampling_keeps_fluid_elements_fluid_and_averages_the_solid_part():
    vs = np.full((8, 4), 1000.0)
    vs[:3, :] = 0.0  # 7.5 m of water over the first 10 m element, 0 over the second
    vs[4:, :] = 2000.0
    out = resample(vs, (2.5, 2.5), 10.0)
    assert out.shape == (2, 1) and out[0, 0] == 0.0
    assert out[1, 0] == pytest.approx(1.0 / (0.5 / 2000.0 + 0.5 / 2000.0))
    vs[:2, :] = 0.0
    vs[2:4, :] = 1000.0  # half water: the solid half's slowness
    assert resample(vs, (2.5, 2.5), 10.0)[0, 0] == pytest.approx(1000.0)
    rho = np.arange(8.0)[:, None] * np.ones((1, 4))
    assert resample(rho, (2.5, 2.5), 10.0, "mean")[:, 0].tolist() == [1.5, 5.5]
    q = np.array([[20.0, 80.0]])
    assert resample(q, (5.0, 5.0), 10.0, "attenuation", shape=(0, 1)).shape == (0, 1)
    assert resample(np.vstack([q, q]), (5.0, 5.0), 10.0, "attenuation")[0, 0] == \
        pytest.approx(32.0)


def test_segy_files_without_spacing_or_uneven_traces_are_refused(tmp_path):
    vp = np.full((8, 5), 2000.0)
    path = _write_segy(tmp_path / "flat.sgy", vp, 2.5, 0.0)
    with pytest.raises(ModelError, match="no trace coordinates"):
        from_segy(path, 10.0, vp_vs=2.0)
    assert from_segy(path, 10.0, vp_vs=2.0, trace_spacing=5.0).shape == (2, 2)
    path = _write_segy(tmp_path / "uneven.sgy", vp, 2.5, 5.0)
    with segyio.open(str(path), "r+", ignore_geometry=True) as f:
        f.header[3] = {segyio.TraceField.CDP_X: 120000}
    with pytest.raises(ModelError, match="not evenly spaced"):
        from_segy(path, 10.0, vp_vs=2.0)
    vp[3, 2] = -5.0
    with pytest.raises(ModelError, match=r"before resampling: vp: element .* \[row 3, column 2\]"):
        from_segy(_write_segy(tmp_path / "neg.sgy", vp, 2.5, 5.0), 10.0, vp_vs=2.0)


# ---------------------------------------------------------------------------- smoothing

def test_gaussian_smoothing_of_slowness_follows_the_error_function_and_keeps_fluids():
    from scipy.special import erf
    ny, nx, h, sigma = 30, 200, 5.0, 40.0
    vp = np.where(np.arange(nx) < 100, 2000.0, 4000.0) * np.ones((ny, 1))
    m = GriddedModel.from_arrays(h, vp, vp / 2.0, np.full((ny, nx), 2.3))
    m.vs[:5] = 0.0
    m.vp[:5] = 1500.0  # water on top
    s = m.smoothed(sigma)
    x = (np.arange(nx) + 0.5) * h - 500.0
    expected = 1.0 / 2000.0 + (1.0 / 4000.0 - 1.0 / 2000.0) * 0.5 * (1 + erf(x / (sigma *
                                                                               math.sqrt(2))))
    assert np.allclose(1.0 / s.vp[15], expected, rtol=2e-3)
    assert np.allclose(s.vp[:5], 1500.0, rtol=1e-12) and (s.vs[:5] == 0).all()
    assert np.allclose(1.0 / s.vp[5], expected, rtol=2e-3)  # the water does not leak in
    assert np.allclose(s.vs[10:], s.vp[10:] / 2.0) and np.allclose(s.rho, 2.3)
    with pytest.raises(ValueError, match="gaussian-slowness"):
        m.smoothed(sigma, "box")


# ------------------------------------------------------------------------------- layers

def test_layers_have_their_interfaces_and_gradients_at_the_element_centres():
    layers = [Layer("top", None, vp=2000.0, vs=1000.0, rho=2.1, gradient={"vp": 1.0}),
              Layer("curved", [(0.0, 100.0), (200.0, 140.0), (400.0, 100.0)], vp=3000.0,
                    vp_vs=1.8),
              Layer("base", 300.0, vp=4500.0, vs=2500.0, rho=2.6, gradient={"vp": 2.0})]
    m = layered_model(10.0, 40, 40, layers)
    index, names = m.labels
    assert names == ["top", "curved", "base"]
    assert (index[:10, 0] == 0).all() and index[10, 0] == 1  # flat at the ends: 100 m
    assert index[13, 20] == 0 and index[14, 20] == 1  # 140 m at x = 200 (centre 205 m)
    assert (index[30:, :] == 2).all() and (index[29, :] == 1).all()
    assert m.vp[5, 3] == 2055.0  # 2000 + 1 x 55 m
    assert m.vp[35, 3] == 4500.0 + 2.0 * 55.0
    assert m.vs[20, 3] == pytest.approx(3000.0 / 1.8)
    assert m.rho[20, 3] == pytest.approx(0.31 * 3000.0 ** 0.25)
    assert m.check() == []


def test_a_fault_offsets_the_interfaces_of_its_hanging_wall():
    layers = [Layer("upper", None, vp=2000.0, vs=1000.0, rho=2.1),
              Layer("lower", 300.0, vp=3000.0, vs=1600.0, rho=2.4)]
    # Dipping 45 degrees to the right: depth = x - 400; the hanging wall drops 100 m and
    # moves 100 m right.
    normal = Fault([(400.0, 0.0), (900.0, 500.0)], throw=100.0)
    index = layered_model(10.0, 100, 60, layers, [normal]).labels[0]
    assert index[29, 10] == 0 and index[30, 10] == 1  # footwall: 300 m
    assert index[39, 85] == 0 and index[40, 85] == 1  # hanging wall at x = 855: 400 m
    thrust = Fault([(400.0, 0.0), (900.0, 500.0)], throw=-100.0)
    index = layered_model(10.0, 100, 60, layers, [thrust]).labels[0]
    assert index[19, 85] == 0 and index[20, 85] == 1  # raised to 200 m
    assert index[29, 10] == 0 and index[30, 10] == 1


def test_bodies_cover_layers_and_bedding_tilts_the_symmetry_axis():
    layers = [Layer("water", None, vp=1500.0, vs=0.0, rho=1.03, qp=1000.0, qs=1000.0,
                    faulted=False),
              Layer("shale", 50.0, vp=2800.0, vs=1400.0, rho=2.4, qp=60.0, qs=30.0,
                    epsilon=0.2, delta=0.1, tilt="bedding"),
              Layer("sand", lambda x: 100.0 + 0.5 * x, vp=3000.0, vs=1700.0, rho=2.3, qp=80.0,
                    qs=40.0)]
    gas = Body("gas", lambda x, z: z < 150.0, within="sand", vp=2500.0, rho=2.1, qp=20.0)
    fault = Fault([(150.0, 0.0), (250.0, 200.0)], throw=-30.0)
    m = layered_model(10.0, 40, 30, layers, [fault], [gas])
    index, names = m.labels
    assert names == ["water", "shale", "sand", "gas"]
    assert (index[:5] == 0).all() and (index[5:, :] != 0).all()  # the sea floor stays flat
    assert m.tilt[8, 2] == pytest.approx(0.0) and m.epsilon[0, 0] == 0.0
    assert np.allclose(m.tilt[index == 1], 0.0)  # the shale's top is level
    sand = index == 2
    gas_at = index == 3
    assert gas_at.any() and (m.vp[gas_at] == 2500.0).all() and (m.vs[gas_at] == 1700.0).all()
    assert (m.qp[gas_at] == 20.0).all() and (m.qs[gas_at] == 40.0).all()
    assert sand.any() and (m.vp[sand] == 3000.0).all()
    assert m.check() == []


def test_the_tilt_of_bedding_follows_the_slope_of_the_layer_top():
    layers = [Layer("a", None, vp=2500.0, vs=1200.0, rho=2.2),
              Layer("b", lambda x: 50.0 + 0.5 * x, vp=3000.0, vs=1500.0, rho=2.4,
                    epsilon=0.1, delta=0.05, tilt="bedding")]
    m = layered_model(10.0, 30, 30, layers)
    b = m.labels[0] == 1
    assert np.allclose(m.tilt[b], math.degrees(math.atan(0.5)))  # 26.57: axis towards +x


def test_layer_descriptions_that_cannot_be_built_are_refused():
    with pytest.raises(ModelError, match="qp: given for a but not for b"):
        layered_model(10.0, 4, 4, [Layer("a", None, vp=2000.0, vs=900.0, qp=50.0, qs=50.0),
                                   Layer("b", 20.0, vp=3000.0, vs=1500.0)])
    with pytest.raises(ModelError, match="no vs and no vp/vs ratio"):
        layered_model(10.0, 4, 4, [Layer("a", None, vp=2000.0)])
    with pytest.raises(ModelError, match="list the unfaulted layers first"):
        layered_model(10.0, 4, 4, [Layer("a", None, vp=2000.0, vs=900.0),
                                   Layer("b", 20.0, vp=1500.0, vs=0.0, faulted=False)])
