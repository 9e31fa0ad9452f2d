"""Surveys (stripwave --shots): read_survey over the shot directories and the export of every
shot gather to one SEG-Y file, read back with segyio."""

import os
import shutil
import subprocess

import numpy as np
import pytest
import segyio
from segyio import TraceField as TF

from stripwave import RunError, read_run, read_survey
from stripwave.cli import main
from stripwave.export import write_segy
from support import DATA

SHOTS = "# a line of three shots\n375 425\n100 300.25 shear\n600 100   # explosion\n"


def _run(binary, rundir, *args):
    env = dict(os.environ, OMP_NUM_THREADS="1")
    return subprocess.run([str(binary), *args], cwd=rundir, capture_output=True, text=True,
                          env=env, timeout=900)


@pytest.fixture
def survey_dir(binary, tmp_path):
    """A survey of three shots over the stored small layered model."""
    rundir = tmp_path / "line"
    shutil.copytree(DATA / "regression" / "layered_small" / "input", rundir)
    (rundir / "shots.txt").write_text(SHOTS)
    done = _run(binary, rundir, "--shots", "shots.txt")
    assert done.returncode == 0, done.stderr
    return rundir


def _coordinate(value, scalar):
    return value / -scalar if scalar < 0 else value * scalar


def test_read_survey_gives_each_shot_its_run_and_position(survey_dir):
    survey = read_survey(survey_dir)
    assert len(survey) == 3 and survey.shots_file == "shots.txt"
    assert [(s.number, s.line, s.x, s.y, s.kind, s.state) for s in survey] == [
        (1, 2, 375.0, 425.0, "explosion", "complete"),
        (2, 3, 100.0, 300.25, "shear", "complete"),
        (3, 4, 600.0, 100.0, "explosion", "complete")]
    assert [s.directory.name for s in survey] == ["shot_0001", "shot_0002", "shot_0003"]
    for s in survey:
        assert (s.run.params.xsou, s.run.params.ysou) == (s.x, s.y)
        assert (s.run.params.jsou, s.run.params.ksou) == (s.jsou, s.ksou)
        assert s.run.params.kdel == {"explosion": 1, "shear": 2}[s.kind]
    # the deck's own shot is the stored run of that deck
    stored = DATA / "regression" / "layered_small" / "expected"
    one = survey[0].run
    for name in ("fort.60", "fort.70"):
        assert (survey[0].directory / name).read_bytes() == (stored / name).read_bytes()
    assert one.traces.vy.shape == (8, one.params.nt)
    # the shots differ: another position sees another wavefield
    assert not np.allclose(survey[1].run.traces.vy, one.traces.vy)


def test_a_missing_shot_is_listed_without_a_run(survey_dir):
    listing = survey_dir / "survey.txt"
    text = listing.read_text().replace("2 shot_0002 3 100 300.25 shear 5 13 complete",
                                       "2 shot_0002 3 100 300.25 shear 5 13 missing (disk full)")
    listing.write_text(text)
    survey = read_survey(survey_dir)
    assert [s.number for s in survey.missing] == [2]
    assert survey[1].run is None and survey[1].reason == "disk full"
    assert len(survey.runs) == 2


def test_damaged_or_absent_lists_are_named(survey_dir, tmp_path):
    with pytest.raises(RunError, match="no survey list survey.txt.*read_run"):
        read_survey(survey_dir / "shot_0001")
    listing = survey_dir / "survey.txt"
    good = listing.read_text()
    for bad, match in [("", "empty"), ("hello\n", "not the header"),
                       (good.replace(" 425 ", " x "), "not a number"),
                       (good.replace("complete\n", "done\n", 1), "unknown state 'done'"),
                       (good.replace("shot_0003", "../elsewhere"), "not one of the survey's")]:
        listing.write_text(bad)
        with pytest.raises(RunError, match=match):
            read_survey(survey_dir)
    listing.write_text(good)
    with pytest.raises(RunError, match="a survey: read it with read_survey"):
        read_run(survey_dir)


@pytest.mark.parametrize("component", ["x", "y"])
def test_segy_export_holds_every_gather_with_shot_numbers_and_coordinates(survey_dir, capsys,
                                                                         component):
    out = survey_dir / f"all_{component}.sgy"
    assert main(["export", str(survey_dir), "--component", component, "-o", str(out)]) == 0
    printed = capsys.readouterr().out
    assert "3 shot gathers (24 traces" in printed
    survey = read_survey(survey_dir)
    with segyio.open(out, ignore_geometry=True) as f:
        assert f.tracecount == 24
        assert f.bin[segyio.BinField.Interval] == 6248
        data = segyio.tools.collect(f.trace[:])
        i = 0
        for s in survey:
            tr = s.run.traces
            assert np.allclose(data[i:i + 8], tr.component(component), rtol=1e-6, atol=1e-30)
            for k in range(8):
                h = f.header[i]
                cs = h[TF.SourceGroupScalar]
                assert h[TF.FieldRecord] == s.number == h[TF.EnergySourcePoint]
                assert h[TF.TraceNumber] == k + 1 and h[TF.TRACE_SEQUENCE_FILE] == i + 1
                assert _coordinate(h[TF.SourceX], cs) == pytest.approx(s.x, abs=1e-3)
                assert _coordinate(h[TF.GroupX], cs) == pytest.approx(tr.rx[k], abs=1e-3)
                es = h[TF.ElevationScalar]
                assert (_coordinate(h[TF.SourceSurfaceElevation], es)
                        - _coordinate(h[TF.SourceDepth], es)) == pytest.approx(s.y, abs=1e-3)
                assert h[TF.offset] == round(tr.rx[k] - s.x)
                assert h[TF.TRACE_SAMPLE_INTERVAL] == 6248
                assert h[TF.TRACE_SAMPLE_COUNT] == s.run.params.nt
                i += 1
        text = f.text[0].decode("ascii", "replace")
        assert text.startswith("C 1 stripwave survey line (shots file shots.txt)")
        assert "every shot of the survey is written" in text


def test_the_first_gather_is_the_single_run_export(survey_dir):
    """The gather of shot 1 holds the bytes of the one-run export's traces and headers."""
    survey = read_survey(survey_dir)
    write_segy(survey[0].run, survey_dir / "one.sgy", "y")
    assert main(["export", str(survey_dir), "--component", "y",
                 "-o", str(survey_dir / "all.sgy")]) == 0
    one = (survey_dir / "one.sgy").read_bytes()
    every = (survey_dir / "all.sgy").read_bytes()
    trace = 240 + 4 * survey[0].run.params.nt
    # the same scalars (the survey's coordinates lie within the one run's range): the same bytes
    assert every[3600:3600 + 8 * trace] == one[3600:3600 + 8 * trace]


def test_export_of_a_survey_skips_missing_shots_and_refuses_npz(survey_dir, capsys):
    listing = survey_dir / "survey.txt"
    listing.write_text(listing.read_text().replace("shear 5 13 complete",
                                                   "shear 5 13 missing (interrupted)"))
    out = survey_dir / "part.sgy"
    assert main(["export", str(survey_dir), "--component", "y", "-o", str(out)]) == 0
    assert "not written (missing): shots 2" in capsys.readouterr().out
    with segyio.open(out, ignore_geometry=True) as f:
        assert f.tracecount == 16
        assert sorted({f.header[i][TF.FieldRecord] for i in range(16)}) == [1, 3]
        assert "missing shots (not written): 2" in f.text[0].decode("ascii", "replace")
    assert main(["export", str(survey_dir), "--format", "npz"]) == 1
    assert "export a shot directory" in capsys.readouterr().err
