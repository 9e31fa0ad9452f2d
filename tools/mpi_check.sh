#!/usr/bin/env bash
# Runs an example with one process and under mpirun with 2, 3 and 4 ranks (oversubscribed, as
# root with OpenMPI's variables) and compares every file byte for byte (the log without its
# tiempo line): with the direct solver, as one run, as a survey of two shots and as a part of
# a survey of three (--shot-range 2:3), and with --distributed-factor at -np 2 (the ranks
# factoring each frequency together).  Then the
# faults: a deck that cannot be read ends both ranks with the status of one process and one
# message; a rank killed with SIGKILL ends the run nonzero with no snapshot or trace file and
# a log without its tiempo line.
#
#   tools/mpi_check.sh BIN [EXAMPLE]       (default examples/homogeneous)
set -euo pipefail
bin=$(realpath "$1")
example=$(realpath "${2:-$(dirname "$0")/../examples/homogeneous}")
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1
work=$(mktemp -d /tmp/mpi_check.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Every file below a directory, the log without its tiempo line (and the memory lines of
# --distributed-factor).
same() {
  local a=$1 b=$2 bad=0 f rel
  while IFS= read -r f; do
    rel=${f#"$a"/}
    if [ "$(basename "$f")" = output ]; then
      cmp -s <(grep -v -e 'tiempo=' -e ' factorisation on ' "$f") \
             <(grep -v -e 'tiempo=' -e ' factorisation on ' "$b/$rel") || { echo "DIFF $rel"; bad=1; }
    else
      cmp -s "$f" "$b/$rel" || { echo "DIFF $rel"; bad=1; }
    fi
  done < <(find "$a" -type f | sort)
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] ||
    { echo "the file lists differ"; bad=1; }
  return $bad
}
printf '%s\n' "# two shots" "150 120" "60 90 shear" > "$work/shots.txt"
printf '%s\n' "# three shots" "30 40" "150 120" "60 90 shear" > "$work/three.txt"
status=0
for shots in no yes part; do
  args=(--solver direct -q)
  [ $shots = yes ] && args+=(--shots shots.txt)
  [ $shots = part ] && args+=(--shots three.txt --shot-range 2:3)
  ranks="1 2 3 4"
  [ $shots = part ] && ranks="1 2"
  for n in $ranks; do
    mkdir "$work/np$n"
    cp "$example"/* "$work/np$n/"
    cp "$work/shots.txt" "$work/three.txt" "$work/np$n/"
    if [ $n = 1 ]; then
      "$bin" "${args[@]}" "$work/np$n"
    else
      mpirun --oversubscribe -np $n "$bin" "${args[@]}" "$work/np$n"
    fi
  done
  for n in ${ranks#1 }; do
    if same "$work/np1" "$work/np$n"; then
      echo "mpi_check: -np $n, shots: $shots: identical"
    else
      echo "mpi_check: -np $n, shots: $shots: DIFFERENCES"
      status=1
    fi
  done
  if [ $shots = no ]; then
    # Both ranks factoring each frequency together: the files of one process here too.
    mkdir "$work/df2"
    cp "$example"/* "$work/shots.txt" "$work/three.txt" "$work/df2/"
    mpirun --oversubscribe -np 2 "$bin" "${args[@]}" --distributed-factor "$work/df2"
    if same "$work/np1" "$work/df2" && [ "$(grep -c ' factorisation on 2 ranks' "$work/df2/output")" = 2 ]; then
      echo "mpi_check: -np 2 --distributed-factor: identical, each rank's memory in the log"
    else
      echo "mpi_check: -np 2 --distributed-factor: DIFFERENCES"
      status=1
    fi
    rm -rf "$work/df2"
  fi
  rm -rf "$work"/np*
done

# A missing deck: status 2 on every rank, the message once.
mkdir "$work/bad" && cp "$example"/* "$work/bad/" && rm "$work/bad/inp_A"
set +e
"$bin" -q "$work/bad" 2>"$work/one.err"; one=$?
mpirun --oversubscribe -np 2 "$bin" -q "$work/bad" 2>"$work/two.err"; two=$?
set -e
# (mpirun adds a note of its own on a nonzero status.)
if [ "$one" -ne 0 ] && [ "$one" = "$two" ] &&
   [ "$(grep -cxF -- "$(head -n 1 "$work/one.err")" "$work/two.err")" = 1 ]; then
  echo "mpi_check: bad input: status $two on both ranks, the message once"
else
  echo "mpi_check: bad input: one process $one, two ranks $two; messages:"; cat "$work/two.err"
  status=1
fi

# Rank 1 killed while it solves: mpirun ends nonzero, no result file, the log unfinished.
mkdir "$work/kill" && cp "$example"/* "$work/kill/"
set +e
mpirun --oversubscribe -np 2 "$bin" -q "$work/kill" 2>"$work/kill.err" &
launcher=$!
victim=
for _ in $(seq 1 100); do
  for p in $(pgrep -P "$launcher"); do
    if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx 'OMPI_COMM_WORLD_RANK=1'; then
      victim=$p
    fi
  done
  [ -n "$victim" ] && break
  sleep 0.1
done
sleep 0.5
[ -n "$victim" ] && kill -9 "$victim"
wait "$launcher"; killed=$?
set -e
if [ -n "$victim" ] && [ "$killed" -ne 0 ] && ! ls "$work/kill" | grep -q '^fort\.[5-7]' &&
   ! grep -q 'tiempo=' "$work/kill/output" 2>/dev/null; then
  echo "mpi_check: rank 1 killed: status $killed, no result file, the log unfinished"
else
  echo "mpi_check: rank 1 killed (pid ${victim:-none}): status $killed; files:"; ls "$work/kill"
  status=1
fi
exit $status
