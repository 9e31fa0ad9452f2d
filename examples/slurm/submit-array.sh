#!/bin/bash
# Queues a survey as a job array of parts and its merge:
#   SURVEY_INPUT=/scratch/line SHOTS_PER_TASK=10 examples/slurm/submit-array.sh
# (the settings are those of survey-lib.sh; SURVEY_INPUT is taken relative to the current
# directory).  Prints the two job ids.
set -eu
SURVEY_INPUT=$(cd "${SURVEY_INPUT:-.}" && pwd)
cd "$(dirname "$0")"
source ./survey-lib.sh
export SURVEY_INPUT SHOTS_FILE SHOTS_PER_TASK STRIPWAVE STRIPWAVE_OPTIONS PYTHON
SURVEY_PARTS=$(survey_parts) SURVEY_OUT=$(survey_out)
export SURVEY_PARTS SURVEY_OUT
tasks=$(task_count)
array=$(sbatch --parsable --export=ALL --array=0-$((tasks - 1)) survey-array.sbatch)
merge=$(sbatch --parsable --export=ALL --dependency=afterok:"$array" survey-merge.sbatch)
echo "parts: job $array ($tasks tasks); merge: job $merge"
