"""Installing under a prefix: the simulator and the package run from any directory, without
the checkout on the module path, and the checkout is left as it was."""

import os
import subprocess
import sys

import pytest

from support import DATA, ROOT

INSTALL = ROOT / "tools" / "install"


def _clean_env(**extra):
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(MPLBACKEND="Agg", PYTHONDONTWRITEBYTECODE="1", OMP_NUM_THREADS="1", **extra)
    return env


def _run(args, cwd, env):
    done = subprocess.run([str(a) for a in args], cwd=cwd, env=env, capture_output=True,
                          text=True, timeout=600)
    assert done.returncode == 0, f"{args}: {done.stdout}{done.stderr}"
    return done


def _checkout_state():
    return {p: p.exists() for p in (ROOT / "python" / "build",
                                    ROOT / "python" / "stripwave.egg-info")}


@pytest.mark.simulation
def test_an_installed_prefix_builds_runs_and_reads_a_model_from_another_directory(binary,
                                                                                  tmp_path):
    # A virtual environment that sees Debian's packages stands for a prefix its python3
    # searches, as Debian's python3 searches /usr/local.
    prefix = tmp_path / "prefix"
    _run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", prefix],
         tmp_path, _clean_env())
    before = _checkout_state()
    done = _run([INSTALL, binary, prefix, prefix / "bin" / "python3"], tmp_path, _clean_env())
    site = next(prefix.glob("lib/python3*/site-packages"))
    assert f"installed the Python package stripwave into {site}" in done.stdout
    assert "PYTHONPATH" not in done.stderr
    assert _checkout_state() == before

    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    env = _clean_env(PATH=f"{prefix / 'bin'}{os.pathsep}{os.environ.get('PATH', '/usr/bin')}")
    where = _run(["python3", "-c", "import stripwave; print(stripwave.__file__)"], elsewhere, env)
    assert where.stdout.strip() == str(site / "stripwave" / "__init__.py")
    assert _run(["stripwave", "--version"], elsewhere, env).stdout.startswith("stripwave ")

    model = DATA / "regression" / "layered_small" / "model.json"
    _run(["python3", "-m", "stripwave", "model", model, "run"], elsewhere, env)
    _run(["stripwave", "-q", "run"], elsewhere, env)
    info = _run(["python3", "-m", "stripwave", "info", "run"], elsewhere, env).stdout
    assert "30 x 20 elements of 25 m" in info and "converged   22 of 24 frequencies" in info
    expected = DATA / "regression" / "layered_small" / "expected" / "fort.70"
    assert (elsewhere / "run" / "fort.70").read_bytes() == expected.read_bytes()


def test_a_prefix_python_does_not_search_is_installed_with_the_path_it_needs(binary, tmp_path):
    prefix = tmp_path / "opt"
    done = _run([INSTALL, binary, prefix, sys.executable], tmp_path, _clean_env())
    site = next(prefix.glob("lib/python3*/site-packages"))
    assert (prefix / "bin" / "stripwave").is_file() and (site / "stripwave" / "cli.py").is_file()
    assert f"PYTHONPATH={site} {sys.executable} -m stripwave" in done.stderr
    _run([sys.executable, "-m", "stripwave", "--help"], tmp_path,
         _clean_env(PYTHONPATH=str(site)))


@pytest.mark.parametrize("args, status, message", [
    (["relative/prefix"], 64, "PREFIX must be an absolute path"),
    (["/tmp/x", "/no/such/python3"], 2, "lacks pip, setuptools or wheel"),
])
def test_install_refuses_what_it_cannot_do(binary, args, status, message, tmp_path):
    done = subprocess.run([str(INSTALL), str(binary), *args], capture_output=True, text=True,
                          cwd=tmp_path)
    assert done.returncode == status and message in done.stderr
