#!/usr/bin/env bash
# Runs an example with one process and under mpirun with 2 and 3 ranks (oversubscribed, as
# root with OpenMPI's variables) and compares every file byte for byte (the log without its
# tiempo line): with the direct solver, as one run and as a survey of two shots.
#
#   tools/mpi_check.sh BIN [EXAMPLE]       (default examples/homogeneous)
set -euo pipefail
bin=$(realpath "$1")
example=$(realpath "${2:-$(dirname "$0")/../examples/homogeneous}")
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1
work=$(mktemp -d /tmp/mpi_check.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Every file below a directory, the log without its tiempo line.
same() {
  local a=$1 b=$2 bad=0 f rel
  while IFS= read -r f; do
    rel=${f#"$a"/}
    if [ "$(basename "$f")" = output ]; then
      cmp -s <(grep -v 'tiempo=' "$f") <(grep -v 'tiempo=' "$b/$rel") || { echo "DIFF $rel"; bad=1; }
    else
      cmp -s "$f" "$b/$rel" || { echo "DIFF $rel"; bad=1; }
    fi
  done < <(find "$a" -type f | sort)
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] ||
    { echo "the file lists differ"; bad=1; }
  return $bad
}
printf '%s\n' "# two shots" "150 120" "60 90 shear" > "$work/shots.txt"
status=0
for shots in no yes; do
  args=(--solver direct -q)
  [ $shots = yes ] && args+=(--shots shots.txt)
  for n in 1 2 3; do
    mkdir "$work/np$n"
    cp "$example"/* "$work/np$n/"
    cp "$work/shots.txt" "$work/np$n/"
    if [ $n = 1 ]; then
      "$bin" "${args[@]}" "$work/np$n"
    else
      mpirun --oversubscribe -np $n "$bin" "${args[@]}" "$work/np$n"
    fi
  done
  for n in 2 3; do
    if same "$work/np1" "$work/np$n"; then
      echo "mpi_check: -np $n, shots: $shots: identical"
    else
      echo "mpi_check: -np $n, shots: $shots: DIFFERENCES"
      status=1
    fi
  done
  rm -rf "$work"/np*
done
exit $status
