"""Tools around the stripwave simulator: build models, read runs, export and plot results.

    >>> import stripwave
    >>> run = stripwave.read_run("build/demo")
    >>> run.traces.vy.shape            # receivers x samples
    >>> run.snapshots[0].time          # model time units (ms by default)
    >>> stripwave.rayleigh_speed(2.0, 1.15)   # the exact solutions of stripwave.exact
"""

from .model import ModelError, build_model, check_model, load_model
from .run import Run, RunError, RunParameters, Snapshot, Traces, read_run
from .survey import Survey, SurveyPart, SurveyShot, merge_survey, read_survey

#: The exact solutions, loaded (with scipy) on first use.
_EXACT = ("GaussianPulse", "anisotropic_arrival_times", "complex_velocity", "exact_traces",
          "explosion_spectra", "force_spectra", "greens_tensor", "group_velocity",
          "half_space_cagniard", "half_space_spectra", "normal_reflection", "phase_velocity",
          "pml_d0", "pml_profile", "pml_reflection", "rayleigh_speed")

__all__ = ["ModelError", "Run", "RunError", "RunParameters", "Snapshot", "Survey", "SurveyPart",
           "SurveyShot", "Traces", "build_model", "check_model", "load_model", "merge_survey",
           "read_run", "read_survey",
           *_EXACT]


def __getattr__(name):
    if name in _EXACT:
        from . import exact
        return getattr(exact, name)
    raise AttributeError(f"module 'stripwave' has no attribute {name!r}")
__version__ = "0.1.0"
