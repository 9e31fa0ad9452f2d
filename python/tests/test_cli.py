"""The command line: help for every command, exit statuses, and what each command prints."""

import json
import os
import shutil
import subprocess
import sys

import pytest

from stripwave import read_run
from stripwave.cli import main
from support import EXAMPLES, ROOT


def test_the_module_runs_as_a_program():
    done = subprocess.run([sys.executable, "-m", "stripwave", "--help"], capture_output=True,
                          text=True, cwd=ROOT / "python")
    assert done.returncode == 0 and "{model,plot,export,info}" not in done.stderr
    assert "usage: python3 -m stripwave" in done.stdout


@pytest.mark.parametrize("command", ["model", "plot", "export", "info"])
def test_every_command_has_help(command, capsys):
    with pytest.raises(SystemExit) as err:
        main([command, "--help"])
    assert err.value.code == 0
    assert f"usage: python3 -m stripwave {command}" in capsys.readouterr().out


def test_a_usage_error_exits_with_2(capsys):
    with pytest.raises(SystemExit) as err:
        main(["export"])
    assert err.value.code == 2


def test_model_writes_the_deck_and_tables(tmp_path, capsys):
    assert main(["model", str(EXAMPLES / "layered" / "model.json"), str(tmp_path)]) == 0
    out = capsys.readouterr().out
    assert "150 x 100 elements of 10 m" in out and "dt = 2.4994283 ms" in out
    assert (tmp_path / "inp_A").read_text() == (EXAMPLES / "layered" / "inp_A").read_text()


def test_a_bad_model_is_refused_with_status_1_and_nothing_written(tmp_path, capsys):
    model = json.loads((EXAMPLES / "layered" / "model.json").read_text())
    model["materials"][0]["Vp"] = model["materials"][0].pop("vp")
    path = tmp_path / "bad.json"
    path.write_text(json.dumps(model))
    assert main(["model", str(path), str(tmp_path / "out")]) == 1
    err = capsys.readouterr().err
    assert err == f"stripwave model: {path}: materials[0]: unknown key 'Vp' (did you mean " \
                  "'vp'?)\n"
    assert not (tmp_path / "out").exists()


def test_model_check_writes_nothing(tmp_path, capsys):
    assert main(["model", str(EXAMPLES / "reflector" / "model.json"), str(tmp_path / "o"),
                 "--check"]) == 0
    assert "nothing written" in capsys.readouterr().out and not (tmp_path / "o").exists()


def test_info_summarises_a_run(layered_run, capsys):
    assert main(["info", str(layered_run)]) == 0
    out = capsys.readouterr().out
    assert "30 x 20 elements of 25 m: 750 x 500 m" in out
    assert "dt = 6.2484772 ms, 48 samples" in out
    assert "converged   22 of 24 frequencies" in out
    assert "snapshots   2 at" in out


def test_info_on_an_unfinished_run_says_what_is_missing(layered_run, capsys):
    (layered_run / "fort.60").unlink()
    assert main(["info", str(layered_run)]) == 1
    assert "missing output files: fort.60" in capsys.readouterr().err


def test_plot_a_run_and_a_model(layered_run, tmp_path, capsys):
    assert main(["plot", str(layered_run), "-o", str(tmp_path / "pics"), "--moveout", "auto",
                 "--agc", "50"]) == 0
    assert (tmp_path / "pics" / "wiggle_vy.png").is_file()
    assert main(["plot", str(EXAMPLES / "homogeneous" / "model.json"), "-o",
                 str(tmp_path / "m.png")]) == 0
    assert (tmp_path / "m.png").is_file()


@pytest.mark.simulation
def test_a_direct_run_reads_with_its_residuals(binary, tmp_path, capsys):
    version = subprocess.run([str(binary), "--version"], capture_output=True, text=True).stdout
    if "direct solver: built" not in version:
        pytest.skip("no direct solver in this build")
    rundir = tmp_path / "direct"
    shutil.copytree(ROOT / "tests" / "data" / "regression" / "layered_small" / "input", rundir)
    env = dict(os.environ, OMP_NUM_THREADS="1")
    done = subprocess.run([str(binary), "-q", "--solver", "direct"], cwd=rundir, env=env,
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    run = read_run(rundir)
    assert len(run.frequencies) == 24 and len(run.converged) == 24
    assert all(f.iterations == 0 and 0.0 <= f.residual <= 1e-10 for f in run.frequencies)
    assert main(["info", str(rundir)]) == 0
    out = capsys.readouterr().out
    assert "solver      direct (whole grid), largest relative residual " in out
    assert "converged   24 of 24 frequencies" in out
