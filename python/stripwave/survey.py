"""A survey: the shots of one `stripwave --shots FILE` run, each a run directory of its own.

The run directory of a survey holds `survey.txt`, the list of its shots (number, directory,
line of the shots file, source position, source kind, source element and state), and one
directory per shot, shot_0001, shot_0002, ..., holding exactly the files a run of that shot
alone writes, so that `read_run`, `plot` and `export` work on each of them.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from pathlib import Path

from .run import Run, RunError, read_run

#: The list of a survey's shots in its run directory.
SURVEY_LIST = "survey.txt"
#: States of a shot: every file written; written but the fields became non-finite; missing.
STATES = ("complete", "non-finite", "missing")
#: Source kinds of a shots file and the deck's kdel of each.
KINDS = {"explosion": 1, "shear": 2, "asymmetric": 3, "vertical-force": 4,
         "horizontal-force": 5}


@dataclass
class SurveyShot:
    """One shot of a survey: where its source was and how its files ended."""

    number: int                #: 1-based, the shot's FFID in a SEG-Y export
    directory: Path
    line: int                  #: line of the shots file
    x: float                   #: source position (m)
    y: float
    kind: str                  #: explosion, shear, asymmetric (or "kdel=N": no source)
    jsou: int                  #: source element
    ksou: int
    state: str                 #: complete, non-finite or missing
    reason: str = ""           #: why the files are missing, or where the fields became non-finite
    run: Run | None = field(default=None, repr=False)  #: None for a missing shot


@dataclass
class Survey:
    """A survey read from its run directory; iterates over its shots in order."""

    path: Path
    shots_file: str
    shots: list

    def __iter__(self):
        return iter(self.shots)

    def __len__(self) -> int:
        return len(self.shots)

    def __getitem__(self, k):
        return self.shots[k]

    @property
    def runs(self) -> list:
        """The runs of the shots whose files were written, in shot order."""
        return [s.run for s in self.shots if s.run is not None]

    @property
    def missing(self) -> list:
        """The shots whose files are missing."""
        return [s for s in self.shots if s.state == "missing"]


def is_survey(path) -> bool:
    """True for the run directory of a survey (it holds survey.txt)."""
    return (Path(path) / SURVEY_LIST).is_file()


def _header_source(first: str, path: Path) -> str:
    prefix = "# stripwave survey of "
    if not first.startswith(prefix) or " from " not in first:
        raise RunError(f"{path}: line 1 is not the header of a survey list")
    rest = first[len(prefix):]
    return rest.split(" from ", 1)[1].rsplit(": ", 1)[0]


def _shot(line: str, number: int, path: Path, root: Path) -> SurveyShot:
    words = line.split(None, 8)
    where = f"{path}, shot {number}"
    if len(words) < 9:
        raise RunError(f"{where}: {len(words)} columns, expected 9 "
                       "(shot directory line x_m y_m kind jsou ksou state)")
    try:
        shot = int(words[0])
        line_no, jsou, ksou = int(words[2]), int(words[6]), int(words[7])
        x, y = float(words[3]), float(words[4])
    except ValueError:
        raise RunError(f"{where}: a column that is not a number: {line.strip()!r}") from None
    if shot != number or not (math.isfinite(x) and math.isfinite(y)):
        raise RunError(f"{where}: expected shot {number} with a finite position: "
                       f"{line.strip()!r}")
    directory = words[1]
    if "/" in directory or directory in ("", ".", ".."):
        raise RunError(f"{where}: the directory {directory!r} is not one of the survey's")
    state, _, reason = words[8].partition(" ")
    if state not in STATES:
        raise RunError(f"{where}: unknown state {state!r} (one of {', '.join(STATES)})")
    reason = reason.strip()
    if reason.startswith("(") and reason.endswith(")"):
        reason = reason[1:-1]
    return SurveyShot(number, root / directory, line_no, x, y, words[5], jsou, ksou, state,
                      reason)


def read_survey(path) -> Survey:
    """Reads the survey of a run directory: its list and every shot's run (None for a shot
    whose files are missing).  Raises RunError naming what cannot be read."""
    path = Path(path)
    listing = path / SURVEY_LIST
    if not listing.is_file():
        hint = " (a run of one shot: read it with read_run)" if (path / "output").is_file() \
            else ""
        raise RunError(f"{path}: no survey list {SURVEY_LIST}: not the directory of a "
                       f"survey{hint}")
    try:
        text = listing.read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as err:
        raise RunError(f"{listing}: cannot be read: {err}") from None
    lines = text.splitlines()
    if not lines:
        raise RunError(f"{listing}: empty")
    shots_file = _header_source(lines[0], listing)
    rows = [ln for ln in lines[1:] if ln.strip() and not ln.lstrip().startswith("#")]
    if not rows:
        raise RunError(f"{listing}: lists no shot")
    shots = [_shot(row, k, listing, path) for k, row in enumerate(rows, 1)]
    for s in shots:
        if s.state != "missing":
            s.run = read_run(s.directory)
    return Survey(path=path, shots_file=shots_file, shots=shots)


__all__ = ["KINDS", "STATES", "SURVEY_LIST", "Survey", "SurveyShot", "is_survey", "read_survey"]
