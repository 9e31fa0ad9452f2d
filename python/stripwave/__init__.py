"""Tools around the stripwave simulator: build models, read runs, export and plot results.

    >>> import stripwave
    >>> run = stripwave.read_run("build/demo")
    >>> run.traces.vy.shape            # receivers x samples
    >>> run.snapshots[0].time          # model time units (ms by default)
"""

from .model import ModelError, build_model, check_model, load_model
from .run import Run, RunError, RunParameters, Snapshot, Traces, read_run

__all__ = ["ModelError", "Run", "RunError", "RunParameters", "Snapshot", "Traces",
           "build_model", "check_model", "load_model", "read_run"]
__version__ = "0.1.0"
