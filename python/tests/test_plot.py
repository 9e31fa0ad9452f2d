"""Pictures: axes in model units, colour bars, snapshot times, outlines, source and receiver
marks, gathers with a labelled time axis and optional gain, and the model plot."""

import matplotlib.image as mpimg
import numpy as np
import pytest

from stripwave import read_run
from stripwave.plot import (_outline_segments, apply_gain, plot_gather, plot_model,
                            plot_snapshot, render_run)
from support import example


def test_render_run_writes_every_picture(layered_run):
    run = read_run(layered_run)
    made = render_run(run)
    names = sorted(p.name for p in made)
    assert names == ["gather_vx.png", "gather_vy.png", "model.png", "snapshot_1.png",
                     "snapshot_2.png", "wiggle_vx.png", "wiggle_vy.png"]
    for p in made:
        image = mpimg.imread(p)
        assert image.ndim == 3 and image.shape[0] > 300 and image.shape[1] > 300


def test_a_snapshot_has_model_axes_colour_bars_time_outlines_and_marks(layered_run):
    run = read_run(layered_run)
    snap = run.snapshots[0]
    fig = plot_snapshot(run, snap)
    panels = [ax for ax in fig.axes if ax.get_label() != "<colorbar>"]
    assert len(panels) == 2 and len(fig.axes) == 4  # two panels, two colour bars
    ax = panels[1]
    assert ax.get_xlabel() == "x (m)" and ax.get_ylabel() == "y (m, up)"
    assert ax.get_xlim() == (0.0, 750.0) and ax.get_ylim() == (0.0, 500.0)
    assert f"t = {snap.time:.4g} ms" in ax.get_title() and "vertical" in ax.get_title()
    labels = [c.get_label() for c in ax.collections]
    assert "material boundaries" in labels and "source" in labels and "receivers" in labels
    receivers = ax.collections[labels.index("receivers")].get_offsets()
    assert np.allclose(receivers[:, 0], run.traces.rx)


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
    images = [ax.images[0].get_array() for ax in fig.axes if ax.images]
    assert images[2].min() > 0  # every element has a density
