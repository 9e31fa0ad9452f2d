"""Reading runs: parameters, traces and snapshots with their axes; clear errors for runs that
did not finish or lack files."""

import shutil

import numpy as np
import pytest

from stripwave import RunError, read_run
from stripwave.run import snapshot_file
from stripwave.log import read_log
from stripwave.numbers import read_values
from support import DATA


def test_a_run_gives_traces_and_snapshots_with_their_axes(layered_run):
    run = read_run(layered_run)
    p = run.params
    assert (p.nx, p.ny, p.h, p.xsize, p.ysize, p.nrec, p.jw2) == (30, 20, 25.0, 750.0, 500.0, 8, 24)
    assert p.dt == pytest.approx(6.2484772, abs=1e-7)
    assert run.traces.vx.shape == run.traces.vy.shape == (8, p.nt)
    assert run.traces.t[1] == p.dt and run.traces.t[-1] == pytest.approx((p.nt - 1) * p.dt)
    # receiver k's block of fort.70 is row k
    assert np.array_equal(run.traces.vy[2], read_values(layered_run / "fort.70")[2 * p.nt:3 * p.nt])
    log = read_log(layered_run)
    assert run.traces.rx == pytest.approx(log.rx_echo, abs=1e-4)
    assert run.traces.ry == pytest.approx(log.ry_echo, abs=1e-4)
    assert (run.traces.xsou, run.traces.ysou) == (375.0, 425.0)
    snap = run.snapshots[1]
    assert snap.vy.shape == (20, 30)
    assert snap.x[0] == 12.5 and snap.y[-1] == 487.5
    # the file runs left to right from the bottom row up
    assert snap.vx[0, 1] == read_values(layered_run / "fort.502")[1]
    assert snap.vx[1, 0] == read_values(layered_run / "fort.502")[30]
    assert snap.time == (log.itsnap[1] - 1) * p.dt
    assert [f.index for f in run.frequencies] == list(range(24, 0, -1))


def test_convergence_of_each_frequency(stored_run):
    run = read_run(stored_run("regression/noconv_layered"))
    assert run.converged == []
    assert all(f.iterations in (120, 40) and f.relative_change > 0 for f in run.frequencies)
    run = read_run(stored_run("golden/n09_reduc_gt1"))
    assert len(run.converged) == len(run.frequencies)
    assert {f.iterations for f in run.frequencies} == {1}


@pytest.mark.parametrize("case, check", [
    ("golden/n19_nt0", lambda r: r.traces.vx.shape == (r.params.nrec, 0)),
    ("golden/n21_snap25", lambda r: len(r.snapshots) == 25 and r.snapshots[24].vy.shape == (6, 8)),
    ("golden/n06_nx1", lambda r: r.snapshots[0].vx.shape == (12, 1)),
    ("golden/n20_freeform_quirks", lambda r: r.snapshots == [] and r.deck["tmute"] == 5e-8),
    ("golden/n24_limestone_rect", lambda r: r.params.xsize == r.params.nx * r.params.h),
    ("regression/aniso_kdel2", lambda r: np.ptp(r.traces.rx) == 0 and np.ptp(r.traces.ry) > 0),
], ids=lambda v: v if isinstance(v, str) else "")
def test_unusual_runs_read(stored_run, case, check):
    assert check(read_run(stored_run(case)))


def _drop(name):
    return lambda d: (d / name).unlink()


def _truncate(name, lines):
    def change(d):
        text = (d / name).read_text().splitlines(True)
        (d / name).write_text("".join(text[:lines]))
    return change


def _unfinished(d):
    text = (d / "output").read_text()
    (d / "output").write_text(text[:text.index(" frequency number    12")])


INCOMPLETE = [
    ("no log", _drop("output"), "no log file 'output': nothing has run here (the deck inp_A "
                                "is there"),
    ("still running", _unfinished, "incomplete run: the log ends at frequency index 13 of 24 "
                                   "(no 'tiempo=' line)"),
    ("no vertical traces", _drop("fort.70"), "missing output files: fort.70"),
    ("no snapshots", lambda d: [_drop(n)(d) for n in ("fort.502", "fort.601")],
     "missing output files: fort.502, fort.601"),
    ("short trace file", _truncate("fort.60", 100),
     "fort.60: holds 100 values, expected 8 receivers x 48 samples = 384"),
]


@pytest.mark.parametrize("change, message", [c[1:] for c in INCOMPLETE],
                         ids=[c[0] for c in INCOMPLETE])
def test_an_incomplete_run_names_what_is_missing(layered_run, change, message):
    change(layered_run)
    with pytest.raises(RunError, match=None) as err:
        read_run(layered_run).snapshots[0].vy
    assert message in str(err.value)


#: How the program ends the log of a run that fails (the direct solver's failures as the
#: solver-fault tests of the program produce them) or is interrupted.
FAILURES = [
    ("factorisation", 12, " the direct solver failed in the factorisation (MUMPS INFOG(1) = -3, "
                          "INFOG(2) = 2)",
     "the run failed: the direct solver failed in the factorisation (MUMPS INFOG(1) = -3, "
     "INFOG(2) = 2)"),
    ("analysis", None, " the direct solver failed in the analysis (MUMPS INFOG(1) = -3, "
                       "INFOG(2) = 2)",
     "the run failed: the direct solver failed in the analysis"),
    ("singular", 7, " the whole-grid matrix is numerically singular in the factorisation: a pivot "
                    "is zero (MUMPS INFOG(1) = -10, INFOG(2) = 7)",
     "the run failed: the whole-grid matrix is numerically singular"),
    ("memory", 20, " not enough memory: the direct solver ran out of memory in the factorisation: "
                   "an allocation of 3 million entries failed (MUMPS INFOG(1) = -13, "
                   "INFOG(2) = -3)",
     "the run failed: not enough memory: the direct solver ran out of memory"),
    ("interrupted", 12, " interrupted by SIGTERM at frequency number 12",
     "the run was interrupted by SIGTERM at frequency number 12"),
]


@pytest.mark.parametrize("at, last, message", [c[1:] for c in FAILURES],
                         ids=[c[0] for c in FAILURES])
def test_a_failed_run_says_it_failed_and_why(layered_run, at, last, message):
    log = layered_run / "output"
    text = log.read_text()
    cut = text.index(f" frequency number    {at:2d}" if at else " frequency number")
    log.write_text(text[:cut] + last + "\n")
    with pytest.raises(RunError) as err:
        read_run(layered_run)
    assert f"incomplete run: {message}" in str(err.value)
    assert "still running" not in str(err.value)
    assert read_log(layered_run).failure == last.strip()


def test_a_run_that_stopped_without_a_reason_may_still_be_running(layered_run):
    _unfinished(layered_run)
    assert read_log(layered_run).failure is None
    assert "the run stopped or is still running" in read_log(layered_run).ending()


def test_a_short_snapshot_file_is_named_when_read(layered_run):
    _truncate("fort.601", 10)(layered_run)
    run = read_run(layered_run)
    with pytest.raises(RunError, match="fort.601: holds 10 values, expected nx x ny = 30 x 20"):
        run.snapshots[0].vy


@pytest.mark.parametrize("case, message", [
    ("e06_nt2501", "nt = 2524 time samples, above the limit 2500"),
    ("e12_nyquist", "f4 = 320 is above the Nyquist frequency"),
    ("e14_npul", "the type-2 pulse is 4509 samples long"),
    ("e11_nrec1", "nrec = 1, fewer than 2 receivers"),
    ("e08_jsou_high", "source element outside the grid (wrong jsou = 11)"),
    ("e15_region_ixi", "bad material region: wrong material description ixi = 11"),
    ("e19_region_numat", "bad material region: wrong material number numat = 3"),
    ("e01_nx601", "the log ends before the frequency loop"),
])
def test_a_stopped_run_says_where_it_stopped(stored_run, case, message):
    with pytest.raises(RunError) as err:
        read_run(stored_run(f"golden/{case}"))
    assert "incomplete run" in str(err.value) and message in str(err.value)


def test_an_input_error_of_the_run_is_reported(stored_run):
    with pytest.raises(RunError, match="the run stopped on an input error: inp_A: "):
        read_run(stored_run("regression/bad_uncovered_element"))


def test_snapshot_files_are_named_as_the_simulator_names_them():
    assert [snapshot_file(1, 1, 25), snapshot_file(2, 25, 25)] == ["fort.501", "fort.625"]
    assert snapshot_file(2, 99, 99) == "fort.699"
    assert [snapshot_file(1, 1, 120), snapshot_file(2, 120, 120)] == ["fort.5001", "fort.6120"]
    assert snapshot_file(1, 7, 1000) == "fort.50007"


def test_a_missing_directory():
    with pytest.raises(RunError, match="no such run directory"):
        read_run(DATA / "no-such-run")
