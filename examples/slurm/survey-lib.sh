# Functions of the Slurm scripts of this directory: a survey of stripwave split into parts
# by shot ranges, one task of a job array per part, then merged into one survey.  Sourced
# by survey-array.sbatch and survey-merge.sbatch (and by submit-array.sh); it can be
# sourced by hand to run the same steps without Slurm:
#
#   source examples/slurm/survey-lib.sh
#   SURVEY_INPUT=$PWD/line SHOTS_PER_TASK=2 run_part 0; ... run_part 1; merge_parts
#
# Settings, from the environment (defaults in brackets):
#   SURVEY_INPUT       directory of the input: inp_A, the tables, the shots file, a model
#                      file; only input, since every file at its top is linked [.]
#   SHOTS_FILE         the shots file, relative to SURVEY_INPUT [shots.txt]
#   SHOTS_PER_TASK     shots of one part, one array task [10]
#   SURVEY_PARTS       where the parts' run directories go [SURVEY_INPUT/parts]
#   SURVEY_OUT         the merged survey [SURVEY_INPUT/survey]
#   STRIPWAVE          the simulator [stripwave]
#   STRIPWAVE_OPTIONS  its options besides --shots and --shot-range [--solver direct]
#   PYTHON             a Python that sees the stripwave package [python3]

: "${SURVEY_INPUT:=.}"
: "${SHOTS_FILE:=shots.txt}"
: "${SHOTS_PER_TASK:=10}"
: "${STRIPWAVE:=stripwave}"
: "${STRIPWAVE_OPTIONS=--solver direct}"
: "${PYTHON:=python3}"

survey_parts() { echo "${SURVEY_PARTS:-$SURVEY_INPUT/parts}"; }
survey_out() { echo "${SURVEY_OUT:-$SURVEY_INPUT/survey}"; }

# The shots of the shots file: its lines holding something besides blanks and a comment,
# as stripwave counts them.
shot_count() {
  sed -e 's/#.*//' "$SURVEY_INPUT/$SHOTS_FILE" | grep -c '[^[:space:]]'
}

# The array tasks the survey needs: the shots in parts of SHOTS_PER_TASK.
task_count() {
  local n
  n=$(shot_count) || return 2
  echo $(( (n + SHOTS_PER_TASK - 1) / SHOTS_PER_TASK ))
}

# FIRST:LAST of task TASK (0-based), within the shots file.
part_range() {
  local task=$1 n first last
  n=$(shot_count) || return 2
  first=$(( task * SHOTS_PER_TASK + 1 ))
  last=$(( first + SHOTS_PER_TASK - 1 ))
  (( last > n )) && last=$n
  if (( task < 0 || first > n )); then
    echo "survey-lib: task $task has no shots (the file holds $n, $SHOTS_PER_TASK a task)" >&2
    return 64
  fi
  echo "$first:$last"
}

# The run directory of task TASK.
part_dir() { printf '%s/part_%04d\n' "$(survey_parts)" "$1"; }

# Runs the shots of task TASK in its own run directory, which links every file at the top
# of SURVEY_INPUT: the tasks run side by side without sharing a directory.  The status is
# stripwave's.
run_part() {
  local task=$1 range dir f
  range=$(part_range "$task") || return
  dir=$(part_dir "$task")
  mkdir -p "$dir" || return 2
  for f in "$SURVEY_INPUT"/*; do
    [[ -f $f ]] || continue
    ln -sfn "$(cd "$(dirname "$f")" && pwd)/$(basename "$f")" "$dir/$(basename "$f")" || return 2
  done
  # shellcheck disable=SC2086  # the options are words
  "$STRIPWAVE" $STRIPWAVE_OPTIONS --shots "$SHOTS_FILE" --shot-range "$range" "$dir"
}

# Joins every part into SURVEY_OUT (refused while a part is missing or incomplete).
merge_parts() {
  local parts=() task tasks
  tasks=$(task_count) || return 2
  for (( task = 0; task < tasks; ++task )); do parts+=("$(part_dir "$task")"); done
  "$PYTHON" -m stripwave merge-survey "$@" "$(survey_out)" "${parts[@]}"
}
