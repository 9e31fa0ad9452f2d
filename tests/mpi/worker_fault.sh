#!/usr/bin/env bash
# A direct-solver failure on a rank other than 0, under mpirun -np 2: rank 1's first
# factorisation reports a zero pivot (through the MUMPS fault library).  The run must end
# with the status of that failure in one process (4), its message once, no snapshot or trace
# file, the log without its tiempo line, the result files of an earlier run untouched and, in
# a survey, survey.txt naming every shot missing.
#
#   tests/mpi/worker_fault.sh BIN MUMPS_FAULT_LIBRARY [EXAMPLE]
set -euo pipefail
bin=$(realpath "$1")
fault=$(realpath "$2")
example=$(realpath "${3:-$(dirname "$0")/../../examples/homogeneous}")
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1
work=$(mktemp -d /tmp/worker_fault.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
for shots in no yes; do
  dir="$work/$shots"
  mkdir "$dir" && cp "$example"/* "$dir/"
  args=(--solver direct -q)
  if [ $shots = yes ]; then
    printf '%s\n' "150 120" "60 90" > "$dir/shots.txt"
    args+=(--shots shots.txt)
  fi
  # An earlier run's results, which a failed run must leave as they are.
  "$bin" "${args[@]}" "$dir" 2>/dev/null
  (cd "$dir" && find . -type f -newer inp_A ! -name output ! -name survey.txt | sort |
     xargs md5sum) >"$work/before"
  set +e
  mpirun --oversubscribe -np 2 -x LD_PRELOAD="$fault" -x STRIPWAVE_MUMPS_FAULT="2 1 -10 7" \
    -x STRIPWAVE_MUMPS_FAULT_RANK=1 "$bin" "${args[@]}" "$dir" 2>"$work/err"
  got=$?
  set -e
  (cd "$dir" && find . -type f -newer inp_A ! -name output ! -name survey.txt \
     ! -name '*checkpoint*' | sort | xargs md5sum) >"$work/after"
  lines=$(grep -c 'numerically singular in the factorisation' "$work/err" || true)
  finished=$(find "$dir" -name output -exec grep -l 'tiempo=' {} + || true)
  missing=yes
  [ $shots = yes ] && ! grep -q 'missing' "$dir/survey.txt" && missing=no
  if [ "$got" = 4 ] && [ "$lines" = 1 ] && [ -z "$finished" ] && [ $missing = yes ] &&
     diff -q "$work/before" "$work/after" >/dev/null; then
    echo "worker_fault: shots $shots: status 4, the message once, earlier results kept"
  else
    echo "worker_fault: shots $shots: status $got, $lines messages; stderr:"; cat "$work/err"
    diff "$work/before" "$work/after" || true
    status=1
  fi
done
exit $status
