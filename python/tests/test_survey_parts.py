"""A survey run in parts (stripwave --shot-range, one task of a job array each) and joined by
merge-survey: the same shot directories, list and export as the survey run in one piece; the
parts refused when they are not of one survey, overlap, leave shots out or are incomplete;
and the Slurm scripts of examples/slurm run here without Slurm."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from stripwave import RunError, merge_survey, read_survey
from stripwave.cli import main
from support import DATA, ROOT

pytestmark = pytest.mark.simulation

SHOTS = ("# four shots along a line\n375 425\n100 300.25 shear\n600 100   # explosion\n"
         "250 125 vertical-force\n")
SLURM = ROOT / "examples" / "slurm"


def _input(dest: Path) -> Path:
    shutil.copytree(DATA / "regression" / "layered_small" / "input", dest)
    (dest / "shots.txt").write_text(SHOTS)
    return dest


def _run(binary, rundir, *args):
    env = dict(os.environ, OMP_NUM_THREADS="1")
    done = subprocess.run([str(binary), "-q", "--shots", "shots.txt", *args], cwd=rundir,
                          capture_output=True, text=True, env=env, timeout=900)
    assert done.returncode == 0, done.stderr
    return rundir


def _files(shot: Path) -> dict:
    """Every file of a shot's directory, the log without its CPU time."""
    out = {}
    for f in sorted(shot.iterdir()):
        data = f.read_bytes()
        if f.name == "output":
            data = re.sub(rb"\n tiempo=[^\n]*", b"\n tiempo=<cpu>", data)
        out[f.name] = data
    return out


@pytest.fixture(scope="module")
def whole(binary, tmp_path_factory):
    """The survey run in one piece, in a directory named `line`."""
    return _run(binary, _input(tmp_path_factory.mktemp("whole") / "line"))


@pytest.fixture(scope="module")
def parts(binary, tmp_path_factory):
    """Factory: the part FIRST:LAST of the survey in a directory of its own (kept per range)."""
    made = {}

    def part(first, last, *options):
        key = (first, last, options)
        if key not in made:
            d = _input(tmp_path_factory.mktemp("part") / f"part_{first}_{last}")
            made[key] = _run(binary, d, "--shot-range", f"{first}:{last}", *options)
        return made[key]
    return part


def test_parts_merged_are_the_survey_run_in_one_piece(whole, parts, tmp_path, capsys):
    out = tmp_path / "merged" / "line"
    # The parts in any order.
    assert main(["merge-survey", str(out), str(parts(3, 4)), str(parts(1, 2))]) == 0
    assert "merged 2 parts into" in capsys.readouterr().out
    assert (out / "survey.txt").read_bytes() == (whole / "survey.txt").read_bytes()
    names = sorted(p.name for p in out.iterdir())
    assert names == ["shot_0001", "shot_0002", "shot_0003", "shot_0004", "survey.txt"]
    for name in names[:-1]:
        assert _files(out / name) == _files(whole / name), name
        assert len(_files(out / name)) > 5
    merged, one = read_survey(out), read_survey(whole)
    assert merged.part is None and merged.shots_file == one.shots_file == "shots.txt"
    assert [(s.number, s.x, s.y, s.kind, s.state) for s in merged] == \
        [(s.number, s.x, s.y, s.kind, s.state) for s in one]
    for a, b in zip(merged, one):
        assert (a.run.traces.vy == b.run.traces.vy).all()
    # The export of every gather to one SEG-Y file: the same bytes.
    for d in (out, whole):
        assert main(["export", str(d), "--format", "segy"]) == 0
    for c in ("x", "y"):
        assert (out / f"traces_v{c}.sgy").read_bytes() == (whole / f"traces_v{c}.sgy").read_bytes()


def test_a_part_reads_as_the_shots_it_holds(parts):
    survey = read_survey(parts(3, 4))
    assert (survey.part.first, survey.part.last, survey.part.total) == (3, 4, 4)
    assert re.fullmatch("[0-9a-f]{16}", survey.part.input)
    assert [s.number for s in survey] == [3, 4]
    assert [s.directory.name for s in survey] == ["shot_0003", "shot_0004"]
    assert survey[1].kind == "vertical-force" and survey[1].run.params.kdel == 4
    assert read_survey(parts(1, 2)).part.input == survey.part.input


def test_merging_parts_that_are_not_one_whole_survey_is_refused(whole, parts, tmp_path, capsys):
    cases = [
        ([parts(1, 2)], "shots 3 and 4 of the 4 are in no part given"),
        ([parts(1, 2), parts(2, 4), parts(3, 4)], r"\(shots 1 to 2\) and .*part_2_4 \(shots 2 to 4\) overlap"),
        ([parts(1, 2), parts(3, 4, "--free-surface")], "parts of different surveys"),
        ([parts(1, 2), whole], "the survey of a whole shots file, not a part"),
        ([parts(1, 2), tmp_path], "no survey list survey.txt"),
    ]
    for given, match in cases:
        out = tmp_path / "out"
        assert main(["merge-survey", str(out), *map(str, given)]) == 1
        err = capsys.readouterr().err
        assert re.search(match, err), (match, err)
        assert not out.exists()


def test_a_part_with_missing_shots_is_merged_only_when_allowed(parts, tmp_path, capsys):
    broken = tmp_path / "broken"
    shutil.copytree(parts(3, 4), broken, symlinks=True)
    listing = broken / "survey.txt"
    text = listing.read_text().replace("2 complete, 0 non-finite, 0 missing",
                                       "1 complete, 0 non-finite, 1 missing")
    listing.write_text(re.sub(r"(\n4 shot_0004 .*) complete\n", r"\1 missing (disk full)\n", text))
    out = tmp_path / "out"
    assert main(["merge-survey", str(out), str(parts(1, 2)), str(broken)]) == 1
    assert re.search(r"the files of shot 4 are missing \(shot 4 in .*broken: disk full\); run "
                     "those parts again, or merge with --allow-missing", capsys.readouterr().err)
    assert not out.exists()
    survey = merge_survey(out, [parts(1, 2), broken], allow_missing=True)
    assert [s.number for s in survey.missing] == [4]
    assert (out / "survey.txt").read_text().startswith(
        "# stripwave survey of 4 shots from shots.txt: 3 complete, 0 non-finite, 1 missing\n")
    # A directory that holds a survey already is not merged into.
    with pytest.raises(RunError,
                       match=r"already holds a survey \(shot_0001, .*\); merge into an empty"):
        merge_survey(out, [parts(1, 2), parts(3, 4)])


def test_the_slurm_array_scripts_run_without_slurm(binary, whole, tmp_path):
    """The array script's tasks run by hand with SLURM_ARRAY_TASK_ID, then the merge job."""
    line = _input(tmp_path / "line")
    env = dict(os.environ, SLURM_SUBMIT_DIR=str(SLURM), SURVEY_INPUT=str(line),
               SHOTS_PER_TASK="3", STRIPWAVE=str(binary), STRIPWAVE_OPTIONS="-q",
               PYTHON=sys.executable, OMP_NUM_THREADS="1",
               PYTHONPATH=os.pathsep.join([str(ROOT / "python"), os.environ.get("PYTHONPATH", "")]))
    lib = f"source {SLURM / 'survey-lib.sh'}"
    count = subprocess.run(["bash", "-c", f"{lib}; shot_count; task_count; part_range 1"],
                           env=env, capture_output=True, text=True)
    assert count.stdout.split() == ["4", "2", "4:4"], count.stderr
    for task in ("0", "1"):
        done = subprocess.run(["bash", str(SLURM / "survey-array.sbatch")], cwd=tmp_path,
                              env=dict(env, SLURM_ARRAY_TASK_ID=task), capture_output=True,
                              text=True, timeout=900)
        assert done.returncode == 0, done.stderr
    # A task past the survey's shots has nothing to run.
    extra = subprocess.run(["bash", str(SLURM / "survey-array.sbatch")], cwd=tmp_path,
                           env=dict(env, SLURM_ARRAY_TASK_ID="2"), capture_output=True, text=True)
    assert extra.returncode == 64 and "task 2 has no shots" in extra.stderr
    merged = subprocess.run(["bash", str(SLURM / "survey-merge.sbatch")], cwd=tmp_path, env=env,
                            capture_output=True, text=True, timeout=900)
    assert merged.returncode == 0, merged.stderr
    out = line / "survey"
    assert (out / "survey.txt").read_bytes() == (whole / "survey.txt").read_bytes()
    survey = read_survey(out)
    assert len(survey.runs) == 4
    for s in survey:
        assert _files(s.directory) == _files(whole / s.directory.name)
