#!/usr/bin/env bash
# One frequency's factorisation shared among MPI ranks (--distributed-factor): a homogeneous grid
# of 400 x 400 and of 600 x 600 elements, two frequencies (a short record: the wrap-around does
# not matter here), --solver direct, with one process and
# under mpirun -np 2, each rank on one thread (OMP_NUM_THREADS=1), one after the other and
# interleaved (-np 1, -np 2, -np 1, -np 2 for each grid).  Prints for each run the wall time, the
# factorisations' wall time, each rank's estimate of the analysis (MUMPS INFO(15)) and memory used
# by its largest factorisation (INFO(22)), and the load average before it; checks that both ways
# give the same trace and snapshot files.  The machine should be quiet: say the load with the
# numbers.
#
#   bench/distributed_factor.sh BUILD/stripwave [GRID ...]     (default grids: 400 600)
set -euo pipefail
bin=$(realpath "$1")
shift
if [ $# -gt 0 ]; then grids=("$@"); else grids=(400 600); fi
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-/usr/bin/python3}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1
work=$(mktemp -d /tmp/distributed_factor_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

make_case() {  # DIR N
  mkdir -p "$1"
  "$python" - "$root/examples/homogeneous/model.json" "$1/model.json" "$2" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
n = int(sys.argv[3])
size = 10.0 * n
m["deck"].update({"nx": n, "ny": n, "xsize": size, "ysize": size, "npf": 2, "stime": 60.0,
                  "tsnap": [20.0, 40.0],
                  "xsou": size / 2 + 5.0, "ysou": size / 2 + 5.0,
                  "receivers": {"nrec": 9, "xinic": size / 4 + 5.0, "yinic": size * 0.75 + 5.0,
                                "xfin": size * 0.75 + 5.0, "yfin": size * 0.75 + 5.0}})
m["regions"] = [{"xi": 0.0, "xf": size, "yi": 0.0, "yf": size, "material": 1}]
json.dump(m, open(sys.argv[2], "w"), indent=1)
PY
  PYTHONPATH="$root/python" "$python" -m stripwave model "$1/model.json" "$1" >/dev/null
}
load() { cut -d' ' -f1-3 /proc/loadavg; }

# One run in DIR with NP ranks: the wall time and what the log says of the ranks' memory.
measure() {  # DIR NP
  local dir=$1 np=$2 t0 t1 before
  before=$(load)
  t0=$(date +%s.%N)
  if [ "$np" = 1 ]; then
    "$bin" -q --solver direct --distributed-factor "$dir" 2>/dev/null
  else
    mpirun --oversubscribe -np "$np" "$bin" -q --solver direct --distributed-factor "$dir" 2>/dev/null
  fi
  t1=$(date +%s.%N)
  local estimate used seconds
  estimate=$(grep -o 'estimated memory per rank (MUMPS INFO(15)) [^;]*; total [0-9]* MB' "$dir/output" |
             sed 's/.*INFO(15)) //')
  used=$(grep -o 'largest of the run (MUMPS INFO(22)) [^;]*' "$dir/output" | sed 's/.*INFO(22)) //')
  seconds=$(grep -o '[0-9]* factorisations in [0-9.]* s' "$dir/output")
  printf '  -np %s: wall %.1f s, %s; estimate per rank %s; used per rank %s (load before %s)\n' \
    "$np" "$(echo "$t1 - $t0" | bc -l)" "$seconds" "$estimate" "$used" "$before"
}

for n in "${grids[@]}"; do
  make_case "$work/case$n" "$n"
  echo "$n x $n, 2 frequencies, --solver direct --distributed-factor, OMP_NUM_THREADS=1 (load $(load))"
  for round in 1 2; do
    for np in 1 2; do
      rm -rf "$work/run$np"
      cp -r "$work/case$n" "$work/run$np"
      measure "$work/run$np" "$np"
    done
    same=yes
    for f in "$work"/run1/fort.*; do
      cmp -s "$f" "$work/run2/$(basename "$f")" || same=no
    done
    echo "  round $round: the same trace and snapshot files: $same"
  done
done
