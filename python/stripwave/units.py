"""Units of a run.  The simulator converts none: its numbers are in whatever units the inputs
use, consistently; a model description states them in "units" (default m and ms), and the
package uses them for labels, plausibility checks and the seconds other formats need."""

from __future__ import annotations

#: Length units a model may state, with their length in metres.
LENGTH_UNITS = {"m": 1.0, "km": 1000.0}
#: Time units a model or run may be in, with their length in seconds.
TIME_UNITS = {"s": 1.0, "ms": 1e-3, "us": 1e-6}
#: The frequency unit that goes with each time unit (frequencies are in the inverse time unit).
FREQUENCY_UNITS = {"s": "Hz", "ms": "kHz", "us": "MHz"}
DEFAULT_LENGTH = "m"
DEFAULT_TIME = "ms"


def frequency_unit(time_unit: str) -> str:
    """The unit of frequencies in a run whose times are in `time_unit`."""
    return FREQUENCY_UNITS.get(time_unit, f"1/{time_unit}")


def model_units(model) -> tuple:
    """(length unit, time unit) of a model description: its "units", else the defaults; a
    unit that is not known (in a model.json read with a run) gives the default."""
    units = model.get("units") if isinstance(model, dict) else None
    units = units if isinstance(units, dict) else {}
    length, time = units.get("length", DEFAULT_LENGTH), units.get("time", DEFAULT_TIME)
    return (length if length in LENGTH_UNITS else DEFAULT_LENGTH,
            time if time in TIME_UNITS else DEFAULT_TIME)
