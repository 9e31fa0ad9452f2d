"""Pictures: axes in model units, colour bars, snapshot times, outlines, source and receiver
marks, gathers with a labelled time axis and optional gain, and the model plot."""

import matplotlib.image as mpimg
import numpy as np
import pytest

from stripwave import read_run
from stripwave.plot import (_outline_segments, apply_gain, plot_gather, plot_model,
                            plot_snapshot, render_run)
from support import example


def test_snapshots_are_drawn_over_the_model_file_of_a_run(layered_run):
    from stripwave.model import GriddedModel
    run = read_run(layered_run)
    vp = np.full((20, 30), 2500.0)
    vp[:8] = 2000.0
    GriddedModel.from_arrays(25.0, vp, vp / 2.0).write_model_file(layered_run / "model.h5",
                                                                  20.0)
    made = render_run(run, layered_run / "pictures")
    assert "model.png" in [p.name for p in made]
    fig = plot_snapshot(run, run.snapshots[0],
                        background=GriddedModel.from_arrays(25.0, vp, vp / 2.0))
    ax = _panels(fig)[0]
    assert len(ax.images) == 2  # the model in grey, the field over it
    assert np.array_equal(ax.images[0].get_array(), vp)
    field = ax.images[1].get_array()
    assert field.shape == (20, 30, 4) and field[..., 3].min() < 1.0  # weak field: see-through


def test_render_run_writes_every_picture(layered_run):
    run = read_run(layered_run)
    made = render_run(run)
    names = sorted(p.name for p in made)
    assert names == ["gather_vx.png", "gather_vy.png", "model.png", "snapshot_1.png",
                     "snapshot_2.png", "wiggle_vx.png", "wiggle_vy.png"]
    for p in made:
        image = mpimg.imread(p)
        assert image.ndim == 3 and image.shape[0] > 300 and image.shape[1] > 300


def _panels(fig):
    return [ax for ax in fig.axes if ax.get_label() != "<colorbar>"]


def _colour_bar_labels(fig):
    return [ax.get_ylabel() for ax in fig.axes if ax.get_label() == "<colorbar>"]


@pytest.mark.parametrize("depth_down", [True, False])
def test_a_snapshot_has_model_axes_colour_bars_time_outlines_and_marks(layered_run,
                                                                       depth_down):
    run = read_run(layered_run)
    snap = run.snapshots[0]
    fig = plot_snapshot(run, snap, depth_down=depth_down)
    panels = _panels(fig)
    assert len(panels) == 2 and len(fig.axes) == 4  # two panels, two colour bars
    assert _colour_bar_labels(fig) == ["horizontal particle velocity (m/ms)",
                                       "vertical particle velocity (m/ms)"]
    ax = panels[1]
    assert ax.get_xlabel() == "x (m)" and ax.get_xlim() == (0.0, 750.0)
    assert f"t = {snap.time:.4g} ms" in ax.get_title() and "vertical" in ax.get_title()
    labels = [c.get_label() for c in ax.collections]
    assert "material boundaries" in labels and "source" in labels and "receivers" in labels
    receivers = ax.collections[labels.index("receivers")].get_offsets()
    source = ax.collections[labels.index("source")].get_offsets()
    assert np.allclose(receivers[:, 0], run.traces.rx)
    image = ax.images[0].get_array()
    if depth_down:
        assert ax.get_ylabel() == "depth (m)" and ax.get_ylim() == (500.0, 0.0)
        assert np.allclose(receivers[:, 1], 500.0 - run.traces.ry)
        assert np.allclose(source[0], (run.params.xsou, 500.0 - run.params.ysou))
        assert np.array_equal(image[0], snap.vy[-1])  # the top row first
    else:
        assert ax.get_ylabel() == "y (m, up)" and ax.get_ylim() == (0.0, 500.0)
        assert np.allclose(receivers[:, 1], run.traces.ry)
        assert np.array_equal(image[0], snap.vy[0])


def test_titles_name_the_run_directory_also_when_it_is_the_current_one(layered_run,
                                                                      monkeypatch):
    monkeypatch.chdir(layered_run)
    run = read_run(".")
    fig = plot_snapshot(run, run.snapshots[0])
    assert fig._suptitle.get_text().startswith("layered_small: snapshot 1")


def test_outlines_follow_material_boundaries():
    mat = np.array([[1, 1, 2],
                    [3, 3, 2]])
    segs = _outline_segments(mat, 10.0)
    # vertical: between columns 1 and 2 in both rows, and between 0|1 nowhere; horizontal:
    # between the rows under columns 0, 1 (1 vs 3) but not column 2 (2 vs 2)
    assert sorted(map(tuple, segs.reshape(-1, 4).tolist())) == [
        (0.0, 10.0, 10.0, 10.0), (10.0, 10.0, 20.0, 10.0),
        (20.0, 0.0, 20.0, 10.0), (20.0, 10.0, 20.0, 20.0)]


@pytest.mark.parametrize("kind", ["image", "wiggle"])
def test_gathers_have_a_labelled_time_axis(layered_run, kind):
    run = read_run(layered_run)
    fig = plot_gather(run, "y", kind, power=1.0, moveout=[2.5])
    ax = fig.axes[0]
    assert ax.get_ylabel() == "time (ms)" and ax.get_xlabel() == "receiver x (m)"
    assert ax.get_ylim()[0] > ax.get_ylim()[1]  # time runs down
    assert "gain t^1" in ax.get_title()
    assert any(line.get_label().startswith("distance / 2.5 + ") for line in ax.lines)


def test_gain_scales_by_time_and_agc_levels_the_traces():
    t = np.arange(100) * 2.0
    data = np.vstack([np.sin(t / 5.0), 100 * np.sin(t / 5.0)])
    assert np.allclose(apply_gain(data, t, power=2.0)[0], data[0] * t ** 2)
    agc = apply_gain(data, t, agc=40.0)
    assert np.allclose(agc[0], agc[1])
    assert 0.5 < np.sqrt(np.mean(agc[0] ** 2)) < 2.0


@pytest.mark.parametrize("name", ["layered", "homogeneous", "reflector", "section"])
def test_model_plot_shows_velocities_density_and_q(name):
    fig = plot_model(example(name), name)
    titles = [ax.get_title() for ax in fig.axes if ax.get_label() != "<colorbar>"]
    assert titles[:3] == ["P velocity (vertical)", "S velocity", "density"]
    assert titles[3].startswith("Q (P waves)")
    assert _colour_bar_labels(fig) == ["vp (m/ms)", "vs (m/ms)", "density (g/cm3)",
                                       "Q of P waves"]
    ax = _panels(fig)[0]
    assert ax.get_ylabel() == "depth (m)" and ax.get_ylim()[0] > ax.get_ylim()[1]
    images = [ax.images[0].get_array() for ax in fig.axes if ax.images]
    assert images[2].min() > 0  # every element has a density
    names = [t.get_text() for t in ax.texts]
    assert names == [m["name"] for m in example(name)["materials"]
                     if any(r["material"] == example(name)["materials"].index(m) + 1
                            for r in example(name)["regions"])]
    _assert_apart(fig, ax.texts)


def _assert_apart(fig, texts):
    renderer = fig.canvas.get_renderer()
    boxes = [t.get_window_extent(renderer) for t in texts]
    for a in range(len(boxes)):
        for b in range(a):
            assert not boxes[a].overlaps(boxes[b]), (texts[a].get_text(), texts[b].get_text())


def _thin_layers():
    from stripwave.model import Layer, layered_model
    layers = [Layer("overburden", None, vp=2000.0, vs=900.0)]
    layers += [Layer(f"thin bed {k}", 300.0 + 20.0 * k, vp=2500.0 + 200.0 * k, vs=1200.0)
               for k in range(6)]
    layers.append(Layer("basement", 420.0, vp=4500.0, vs=2500.0))
    return layered_model(10.0, 60, 50, layers)


def test_labels_of_thin_layers_do_not_overlap():
    from stripwave.plot import plot_gridded
    model = _thin_layers()
    fig = plot_gridded(model, "thin")
    ax = _panels(fig)[0]
    assert [t.get_text() for t in ax.texts] == model.labels[1]
    _assert_apart(fig, ax.texts)
    # each label sits on its own layer, down from the top
    for k, text in enumerate(ax.texts):
        x, depth = text.get_position()
        assert model.labels[0][int(depth // 10.0), int(x // 10.0)] == k


def test_a_model_file_is_drawn_with_depth_down_and_labelled_colour_bars(tmp_path):
    from stripwave.plot import plot_model_file
    model = _thin_layers()
    model.vs[:5] = 0.0  # a fluid on top
    path = model.write_model_file(tmp_path / "model.h5", 20.0)
    fig = plot_model_file(path)
    panels = _panels(fig)
    assert [ax.get_title() for ax in panels] == ["P velocity", "S velocity (blue: fluid)",
                                                 "density", "Q: none (no attenuation)"]
    assert _colour_bar_labels(fig) == ["vp (m/s)", "vs (m/s)", "density (g/cm3)"]
    vp = panels[0].images[0].get_array()
    assert np.array_equal(vp, model.vp) and panels[0].get_ylim()[0] > panels[0].get_ylim()[1]
    assert panels[1].images[0].get_array().mask[:5].all()  # the fluid drawn apart
    assert fig._suptitle.get_text() == f"Model {tmp_path.name}/model.h5"


def test_the_command_line_draws_a_model_file_and_refuses_one_that_is_not(tmp_path, capsys):
    from stripwave.cli import main
    from stripwave.model import GriddedModel
    vp = np.full((15, 40), 3000.0)
    GriddedModel.from_arrays(10.0, vp, vp / 2.0).write_model_file(tmp_path / "m.h5", 15.0)
    assert main(["plot", str(tmp_path / "m.h5")]) == 0
    assert mpimg.imread(tmp_path / "m.png").shape[1] > 300
    (tmp_path / "bad.h5").write_bytes(b"not HDF5")
    assert main(["plot", str(tmp_path / "bad.h5")]) == 1
    assert "bad.h5: cannot read as HDF5" in capsys.readouterr().err
