"""A survey: the shots of one `stripwave --shots FILE` run, each a run directory of its own.

The run directory of a survey holds `survey.txt`, the list of its shots (number, directory,
line of the shots file, source position, source kind, source element and state), and one
directory per shot, shot_0001, shot_0002, ..., holding exactly the files a run of that shot
alone writes, so that `read_run`, `plot` and `export` work on each of them.

A survey run in parts (`stripwave --shots FILE --shot-range FIRST:LAST`, one task of a job
array each) leaves in each part's directory the list of its shots, numbered as in the whole
file, with the range and the digests of the input and the build; `merge_survey` joins the
parts into the directory of the survey as one run would have written it.
"""

from __future__ import annotations

import math
import os
import re
import shutil
import sys
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


@dataclass(frozen=True)
class SurveyPart:
    """Which shots of a survey one run of a part holds, and what it was run from."""

    first: int                 #: numbers of the part's shots in the shots file, from 1
    last: int
    total: int                 #: shots in the file
    input: str                 #: digest of the deck, tables, model and shots files and the
                               #: options that change results (16 hex digits)
    build: str                 #: digest of the executable


@dataclass
class Survey:
    """A survey read from its run directory; iterates over its shots in order."""

    path: Path
    shots_file: str
    shots: list
    part: SurveyPart | None = None  #: the part of a survey run with --shot-range

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


_PART = re.compile(r"# part (\d+):(\d+) of (\d+) shots, input ([0-9a-f]{16}), "
                   r"build ([0-9a-f]{16})$")


def _header_part(lines, path: Path) -> SurveyPart | None:
    """The part line of a list (its second line), or None for the list of a whole survey."""
    if len(lines) < 2 or not lines[1].startswith("# part "):
        return None
    m = _PART.match(lines[1].rstrip())
    if not m:
        raise RunError(f"{path}: line 2 is not the range and digests of a part of a survey: "
                       f"{lines[1].strip()!r}")
    first, last, total = int(m[1]), int(m[2]), int(m[3])
    if not 1 <= first <= last <= total:
        raise RunError(f"{path}: line 2: the range {first}:{last} is not within 1 to {total}")
    return SurveyPart(first, last, total, m[4], m[5])


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
    part = _header_part(lines, listing)
    rows = _rows(lines)
    if not rows:
        raise RunError(f"{listing}: lists no shot")
    first = part.first if part else 1
    shots = [_shot(row, k, listing, path) for k, row in enumerate(rows, first)]
    if part and len(shots) != part.last - part.first + 1:
        raise RunError(f"{listing}: lists {len(shots)} shots, the part {part.first}:{part.last} "
                       f"holds {part.last - part.first + 1}")
    for s in shots:
        if s.state != "missing":
            s.run = read_run(s.directory)
    return Survey(path=path, shots_file=shots_file, shots=shots, part=part)


def _rows(lines) -> list:
    return [ln for ln in lines[1:] if ln.strip() and not ln.lstrip().startswith("#")]


def _numbers(numbers) -> str:
    """'shot 3', 'shots 3, 5 and 7' (the first ten)."""
    numbers = list(numbers)
    words = [str(n) for n in numbers[:10]]
    text = words[0] if len(words) == 1 else ", ".join(words[:-1]) + " and " + words[-1]
    if len(numbers) > 10:
        text = ", ".join(words) + f", ... ({len(numbers)} in all)"
    return ("shot " if len(numbers) == 1 else "shots ") + text


def _copy_shot(source: Path, dest: Path, link: bool) -> None:
    """A shot's directory copied (or its files hard-linked) under a temporary name beside
    `dest`, then renamed: `dest` is never a partial copy."""
    temp = dest.with_name(f".{dest.name}.merging-{os.getpid()}")
    if temp.exists():
        shutil.rmtree(temp)
    try:
        shutil.copytree(source, temp, symlinks=False,
                        copy_function=os.link if link else shutil.copy2)
        os.rename(temp, dest)
    except BaseException:
        shutil.rmtree(temp, ignore_errors=True)
        raise


def merge_survey(outdir, parts, allow_missing: bool = False, link: bool = False) -> Survey:
    """Joins the parts of a survey (the run directories of `stripwave --shots FILE
    --shot-range FIRST:LAST`) into `outdir`: every shot's directory as the part wrote it and
    survey.txt as a run of the whole survey writes it, so that `read_survey(outdir)` and the
    export give the survey run in one piece.

    Refused (RunError, nothing written) unless the parts were run from the same input (the
    deck, the tables, a model file, the shots file and the options that change results, by
    their digest) and together hold every shot of the file once, each complete or with
    non-finite fields (also missing ones with `allow_missing`), and unless `outdir` holds no
    survey yet.  A part run by another build is merged with a warning on standard error.
    `link` hard-links the files instead of copying them (one file system).  Returns the
    merged survey, read back."""
    outdir = Path(outdir)
    parts = [Path(p) for p in parts]
    if not parts:
        raise RunError("no part to merge")
    read = []
    for p in parts:
        survey = read_survey(p)
        if survey.part is None:
            raise RunError(f"{p}: the survey of a whole shots file, not a part of one "
                           "(stripwave --shot-range)")
        read.append(survey)
    first = read[0]
    for s in read[1:]:
        if s.part.total != first.part.total or s.part.input != first.part.input:
            raise RunError(f"{s.path} and {first.path} are parts of different surveys (input "
                           f"{s.part.input}, {s.part.total} shots against {first.part.input}, "
                           f"{first.part.total} shots): another deck, tables, model file, "
                           "shots file or options that change results")
    builds = sorted({s.part.build for s in read})
    if len(builds) > 1:
        print(f"stripwave merge-survey: warning: the parts were run by {len(builds)} different "
              f"builds ({', '.join(builds)}); their files may differ in the last bits from a "
              "survey run by one", file=sys.stderr)
    read.sort(key=lambda s: s.part.first)
    for a, b in zip(read, read[1:]):
        if b.part.first <= a.part.last:
            raise RunError(f"{a.path} (shots {a.part.first} to {a.part.last}) and {b.path} "
                           f"(shots {b.part.first} to {b.part.last}) overlap")
    total = first.part.total
    held = {n for s in read for n in range(s.part.first, s.part.last + 1)}
    absent = [n for n in range(1, total + 1) if n not in held]
    if absent:
        raise RunError(f"{_numbers(absent)} of the {total} are in no part given")
    missing = [shot for s in read for shot in s.missing]
    if missing and not allow_missing:
        why = "; ".join(f"shot {m.number} in {m.directory.parent}: {m.reason or 'missing'}"
                        for m in missing[:3])
        raise RunError(f"the files of {_numbers(m.number for m in missing)} are missing ({why}); "
                       "run those parts again, or merge with --allow-missing")
    if outdir.resolve() in {p.resolve() for p in parts}:
        raise RunError(f"{outdir}: the directory of a part; merge into another one")
    outdir.mkdir(parents=True, exist_ok=True)
    there = [e.name for e in outdir.iterdir() if e.name == SURVEY_LIST or
             re.fullmatch(r"shot_\d{4,}", e.name)]
    if there:
        raise RunError(f"{outdir} already holds a survey ({', '.join(sorted(there)[:3])}"
                       f"{', ...' if len(there) > 3 else ''}); merge into an empty directory")

    rows, columns = [], None
    counts = dict.fromkeys(STATES, 0)
    for s in read:
        lines = (s.path / SURVEY_LIST).read_text(encoding="utf-8").splitlines()
        columns = columns or next((ln for ln in lines[2:] if ln.startswith("# shot ")),
                                  "# shot directory line x_m y_m kind jsou ksou state [reason]")
        rows += _rows(lines)
        for shot in s.shots:
            counts[shot.state] += 1
            if shot.directory.is_dir():
                _copy_shot(shot.directory, outdir / shot.directory.name, link)
    text = (f"# stripwave survey of {total} shots from {first.shots_file}: "
            f"{counts['complete']} complete, {counts['non-finite']} non-finite, "
            f"{counts['missing']} missing\n{columns}\n" + "".join(r + "\n" for r in rows))
    temp = outdir / f".{SURVEY_LIST}.merging-{os.getpid()}"
    temp.write_text(text, encoding="utf-8")
    os.rename(temp, outdir / SURVEY_LIST)
    return read_survey(outdir)


__all__ = ["KINDS", "STATES", "SURVEY_LIST", "Survey", "SurveyPart", "SurveyShot", "is_survey",
           "merge_survey", "read_survey"]
