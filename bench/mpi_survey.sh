#!/usr/bin/env bash
# Speed of runs shared among MPI ranks: a survey of 20 shots on a 200 x 200 homogeneous grid
# (20 frequencies, --solver direct) with one process and under mpirun -np 2, each rank on one
# thread (OMP_NUM_THREADS=1: two ranks of one thread use the two cores without the ranks'
# threads competing), and examples/layered with --solver direct and both pass limits 3000,
# reduc 1e-6 (the setting of the README's acceleration measurement) with -np 1 and -np 2.
# Prints wall times, the speed-ups and the load average before each run; measure on a quiet
# machine.  Checks that both ways give the same files.
#
#   bench/mpi_survey.sh BUILD/stripwave
set -euo pipefail
bin=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-/usr/bin/python3}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
work=$(mktemp -d /tmp/mpi_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A model description from an example's, with some deck entries changed.
model() {  # SOURCE.json OUT.json 'python dict of deck entries'
  "$python" - "$1" "$2" "$3" <<'PY'
import json, sys, ast
m = json.load(open(sys.argv[1]))
m["deck"].update(ast.literal_eval(sys.argv[3]))
# A grid made larger keeps one material region over all of it.
if len(m["regions"]) == 1:
    m["regions"][0].update(xf=m["deck"]["xsize"], yf=m["deck"]["ysize"])
json.dump(m, open(sys.argv[2], "w"), indent=1)
PY
}
make_case() {  # DIR SOURCE.json 'entries'
  mkdir -p "$1"
  model "$2" "$1/model.json" "$3"
  PYTHONPATH="$root/python" "$python" -m stripwave model "$1/model.json" "$1" >/dev/null
}
# Wall seconds of a command.
timed() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}
load() { cut -d' ' -f1-3 /proc/loadavg; }

make_case "$work/survey" "$root/examples/homogeneous/model.json" \
  "{'nx': 200, 'ny': 200, 'xsize': 2000.0, 'ysize': 2000.0, 'xsou': 1005.0, 'ysou': 1005.0,
    'receivers': {'nrec': 9, 'xinic': 505.0, 'yinic': 1505.0, 'xfin': 1505.0, 'yfin': 1505.0}}"
for k in $(seq 0 19); do echo "$((105 + 90 * k)) 1005"; done >"$work/survey/shots.txt"
cp -r "$work/survey" "$work/survey2"
echo "survey, 20 shots, 200 x 200, 20 frequencies, --solver direct (load $(load))"
t1=$(OMP_NUM_THREADS=1 timed "$bin" -q --solver direct --shots shots.txt "$work/survey")
echo "  -np 1: ${t1} s (load $(load))"
t2=$(OMP_NUM_THREADS=1 timed mpirun --oversubscribe -np 2 "$bin" -q --solver direct \
     --shots shots.txt "$work/survey2")
echo "  -np 2: ${t2} s, speed-up $(echo "$t1 / $t2" | bc -l | cut -c1-5)"
diff -r -q -x output "$work/survey" "$work/survey2" && echo "  the same files"

mkdir "$work/layered"
cp "$root"/examples/layered/* "$work/layered/"
make_case "$work/layered" "$root/examples/layered/model.json" \
  "{'maxiter': 3000, 'maxlow': 3000, 'reduc': 1e-6}"
cp -r "$work/layered" "$work/layered2"
echo "examples/layered, --solver direct, limits 3000, reduc 1e-6 (load $(load))"
t1=$(timed "$bin" -q --solver direct "$work/layered")
echo "  -np 1 (default threads): ${t1} s"
t1b=$(OMP_NUM_THREADS=1 timed "$bin" -q --solver direct "$work/layered")
echo "  -np 1 (OMP_NUM_THREADS=1): ${t1b} s (load $(load))"
t2=$(OMP_NUM_THREADS=1 timed mpirun --oversubscribe -np 2 "$bin" -q --solver direct "$work/layered2")
echo "  -np 2 (OMP_NUM_THREADS=1): ${t2} s, speed-up $(echo "$t1 / $t2" | bc -l | cut -c1-5) over default threads"
