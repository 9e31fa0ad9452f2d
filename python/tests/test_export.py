"""SEG-Y, SU, .npz and ObsPy exports: what segyio (and ObsPy) read back, headers included,
and the handling of a sample interval that is not a whole number of microseconds."""

import math

import numpy as np
import pytest
import segyio
from segyio import TraceField as TF

from stripwave import read_run
from stripwave.cli import main
from stripwave.export import (ExportError, obspy_available, resample, sample_interval, to_obspy,
                              write_npz, write_segy, write_su)


def _headers(f, k):
    return f.header[k]


def _coordinate(value, scalar):
    return value / -scalar if scalar < 0 else value * scalar


@pytest.mark.parametrize("component", ["x", "y"])
def test_segy_reads_back_with_coordinates_offsets_and_interval(layered_run, component):
    run = read_run(layered_run)
    out = layered_run / f"t_{component}.sgy"
    interval, nt = write_segy(run, out, component)
    tr = run.traces
    with segyio.open(out, ignore_geometry=True) as f:
        assert f.tracecount == run.params.nrec
        assert f.bin[segyio.BinField.Interval] == 6248 == interval.header_us
        assert f.bin[segyio.BinField.Samples] == nt == run.params.nt
        assert f.bin[segyio.BinField.Format] == 5
        assert f.samples[1] == pytest.approx(6.248)
        data = segyio.tools.collect(f.trace[:])
        assert np.allclose(data, tr.component(component), rtol=1e-6, atol=1e-30)
        for k in range(run.params.nrec):
            h = f.header[k]
            cs, es = h[TF.SourceGroupScalar], h[TF.ElevationScalar]
            assert (h[TF.TRACE_SEQUENCE_LINE], h[TF.TraceNumber]) == (k + 1, k + 1)
            assert _coordinate(h[TF.GroupX], cs) == pytest.approx(tr.rx[k], abs=1e-3)
            assert _coordinate(h[TF.SourceX], cs) == pytest.approx(tr.xsou, abs=1e-3)
            assert _coordinate(h[TF.ReceiverGroupElevation], es) == pytest.approx(tr.ry[k],
                                                                                 abs=1e-3)
            # the surface is the model top; the source lies its depth below it
            surface = _coordinate(h[TF.SourceSurfaceElevation], es)
            depth = _coordinate(h[TF.SourceDepth], es)
            assert surface == pytest.approx(500.0) and depth == pytest.approx(500.0 - tr.ysou)
            assert surface - depth == pytest.approx(tr.ysou, abs=1e-3)
            assert _coordinate(h[TF.SourceDatumElevation], es) == pytest.approx(surface)
            assert h[TF.offset] == round(tr.rx[k] - tr.xsou)
            assert h[TF.TRACE_SAMPLE_COUNT] == nt
            assert h[TF.TRACE_SAMPLE_INTERVAL] == 6248
            assert h[TF.TraceIdentificationCode] == (14 if component == "x" else 12)
        text = f.text[0].decode("ascii", "replace")
        assert text.startswith("C 1 stripwave run layered_small ")
        assert str(layered_run.resolve().parent) not in text
        assert f"exact dt: {run.params.dt!r} ms" in text
        assert "header interval 6248 us = dt rounded, off by -0.477216 us" in text
        assert text.rstrip().endswith("C40 END TEXTUAL HEADER")


def test_the_terminal_is_told_how_far_the_header_interval_is_from_dt(layered_run):
    run = read_run(layered_run)
    interval = sample_interval(run)
    assert interval.exact_us == pytest.approx(6248.477216, abs=1e-6)
    text = interval.describe(run.params.nt)
    assert "dt = 6.248477216 ms = 6248.477216 us" in text
    assert "6248 us, 0.477216 us (0.00764 %) below dt" in text
    assert "by the last sample (number 48) the header's time axis is 0.02243 ms early" in text
    assert "--resample 5000" in text  # 6250 would put the Nyquist frequency below f4 = 0.06


def test_a_whole_interval_is_stated_as_exact(layered_run):
    run = read_run(layered_run)
    interval = sample_interval(run, time_unit="us")
    assert interval.header_us == 6 and "the headers hold whole microseconds: 6 us" in \
        interval.describe(48)


@pytest.mark.parametrize("kwargs, message", [
    (dict(time_unit="s"), r"is 6.24848e\+06 us: a SEG-Y header holds 1 to 32767 us"),
    (dict(resample_us=40000), "--resample 40000: the interval must be 1 to 32767 us"),
    (dict(resample_us=10000), "Nyquist frequency 0.05 lies below the band's f4 = 0.06"),
    (dict(time_unit="min"), "time unit 'min': use one of s, ms, us"),
])
def test_intervals_a_header_cannot_hold_are_refused(layered_run, kwargs, message):
    run = read_run(layered_run)
    with pytest.raises(ExportError, match=message):
        sample_interval(run, **kwargs)


def test_resampling_follows_the_runs_frequency_terms(layered_run):
    run = read_run(layered_run)
    p = run.params
    t = run.traces.t
    # a sum of the run's own terms is reproduced exactly between the samples
    w = 2 * math.pi * p.delf * np.array([3.5, 11.5])
    signal = lambda x: np.cos(w[0] * x) - 0.5 * np.sin(w[1] * x + 0.3)  # noqa: E731
    new_t = np.arange(0, t[-1], 5.0)
    got = resample(signal(t)[None, :], t, new_t, p.delf, p.jw2)
    assert np.abs(got[0] - signal(new_t)).max() < 1e-9
    # the run's traces come back on their own samples to the digits the files hold
    back = resample(run.traces.vy, t, t, p.delf, p.jw2)
    assert np.abs(back - run.traces.vy).max() <= 1e-3 * np.abs(run.traces.vy).max()


def test_su_reads_back_resampled_onto_a_whole_interval(layered_run):
    run = read_run(layered_run)
    out = layered_run / "t.su"
    interval, nt = write_su(run, out, "y", resample_us=5000)
    assert interval.resampled and nt == int(run.traces.t[-1] / 5.0) + 1
    with segyio.su.open(out, endian="little", ignore_geometry=True) as f:
        assert f.tracecount == run.params.nrec
        assert f.samples[1] == 5.0 and len(f.samples) == nt
        assert f.header[3][TF.TRACE_SAMPLE_INTERVAL] == 5000
        h = f.header[3]
        assert h[TF.GroupX] / 1000 == pytest.approx(run.traces.rx[3], abs=1e-3)
        assert (h[TF.SourceSurfaceElevation] - h[TF.SourceDepth]) / 1000 == \
            pytest.approx(run.traces.ysou, abs=1e-3)
        expected = resample(run.traces.vy, run.traces.t, np.arange(nt) * 5.0, run.params.delf,
                            run.params.jw2)
        assert np.allclose(segyio.tools.collect(f.trace[:]), expected, rtol=1e-6,
                           atol=1e-6 * np.abs(expected).max())


def test_more_samples_than_the_header_counts_is_an_error_and_writes_nothing(layered_run):
    run = read_run(layered_run)
    out = layered_run / "t.su"
    with pytest.raises(ExportError, match="58736 samples per trace: more than the 32767 a trace "
                                          "header's 16-bit sample count holds"):
        write_su(run, out, "y", resample_us=5)
    assert not out.exists()


def test_npz_holds_traces_snapshots_and_axes(layered_run):
    run = read_run(layered_run)
    path = write_npz(run, layered_run / "run.npz")
    with np.load(path) as z:
        assert np.array_equal(z["vy"], run.traces.vy) and np.array_equal(z["t"], run.traces.t)
        assert z["snapshot_vx"].shape == (2, 20, 30)
        assert np.array_equal(z["snapshot_vx"][1], run.snapshots[1].vx)
        assert z["snapshot_times"].tolist() == [s.time for s in run.snapshots]
        assert str(z["time_unit"]) == "ms"


def test_the_export_command_writes_both_components_and_states_dt(layered_run, capsys):
    assert main(["export", str(layered_run), "--format", "segy"]) == 0
    out = capsys.readouterr().out
    assert "time unit of the run: ms (assumed" in out
    assert "the headers hold whole microseconds: 6248 us" in out
    for c in ("vx", "vy"):
        with segyio.open(layered_run / f"traces_{c}.sgy", ignore_geometry=True) as f:
            assert f.tracecount == 8


@pytest.mark.skipif(not obspy_available(), reason="ObsPy is not installed")
def test_obspy_reads_the_segy_file_and_gets_a_stream(layered_run):
    import obspy
    run = read_run(layered_run)
    write_segy(run, layered_run / "t.sgy", "y")
    st = obspy.read(str(layered_run / "t.sgy"), format="SEGY", unpack_trace_headers=True)
    assert len(st) == run.params.nrec
    h = st[2].stats.segy.trace_header
    assert h.group_coordinate_x / 1000 == pytest.approx(run.traces.rx[2], abs=1e-3)
    assert st[2].stats.delta == pytest.approx(6.248e-3)
    stream = to_obspy(run)
    assert len(stream) == 2 * run.params.nrec
    assert stream[0].stats.delta == pytest.approx(run.params.dt * 1e-3)
    assert stream[0].stats.coordinates.x == run.traces.rx[0]


@pytest.mark.skipif(obspy_available(), reason="ObsPy is installed")
def test_the_obspy_stream_needs_obspy(layered_run):
    with pytest.raises(ExportError, match="ObsPy is not installed"):
        to_obspy(read_run(layered_run))
