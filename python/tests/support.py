"""Helpers of the package's tests: where the test data is, stored runs, running the simulator."""

import json
import os
import shutil
import subprocess
from pathlib import Path

from stripwave.exact import trace_misfit  # noqa: F401  (the tests import it from here)

ROOT = Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
EXAMPLES = ROOT / "examples"


def copy_run(case: Path, dest: Path) -> Path:
    """A complete run directory from a stored case: its inputs, every file it wrote and, when
    there is one, model.json."""
    dest.mkdir(parents=True, exist_ok=True)
    for part in ("input", "expected"):
        for f in (case / part).iterdir():
            if f.name not in ("exit_status", "stderr.txt"):
                shutil.copy(f, dest / f.name)
    if (case / "model.json").is_file():
        shutil.copy(case / "model.json", dest / "model.json")
    return dest


def binary_path():
    """The simulator: STRIPWAVE_BINARY, else build/stripwave; None when neither exists."""
    env = os.environ.get("STRIPWAVE_BINARY")
    path = Path(env) if env else ROOT / "build" / "stripwave"
    return path if path.is_file() else None


def simulate(binary, model: dict, rundir: Path, *options: str) -> Path:
    """Builds `model` into `rundir` (with model.json) and runs the simulator there with
    `options` (--lift-limits builds the model beyond the established limits too)."""
    from stripwave.model import build_model
    build_model(model, rundir, lift_limits="--lift-limits" in options)
    (rundir / "model.json").write_text(json.dumps(model))
    # One thread: the files are the same for any thread count, and test runners already keep
    # both cores busy (spinning OpenMP threads on a full machine run many times slower).
    env = dict(os.environ, OMP_NUM_THREADS=os.environ.get("STRIPWAVE_TEST_THREADS", "1"))
    done = subprocess.run([str(binary), *options], cwd=rundir, capture_output=True, text=True, env=env,
                          timeout=900)
    assert done.returncode == 0, done.stderr
    return rundir


def example(name: str) -> dict:
    """The model description of examples/NAME."""
    return json.loads((EXAMPLES / name / "model.json").read_text())


