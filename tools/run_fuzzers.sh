#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, two at a time.
#
#   tools/run_fuzzers.sh BUILD_DIR SECONDS
#
# Each target starts from its seed corpus in fuzz/corpus/<target> (read only) and keeps
# what it finds new in BUILD_DIR/corpus/<target>.  A crash, a sanitizer report, a leak or
# a timeout leaves the input in BUILD_DIR/findings/ and makes this script fail: add the
# input to tests/data/fuzz_findings/<target>/ so that the test suite replays it.
set -uo pipefail
build=$(cd "${1:?build directory}" && pwd)  # absolute: the targets change directory
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${FUZZ_JOBS:-2}

mkdir -p "$build/findings" "$build/logs"
pids=()
names=()
for target in records deck tables model; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  mkdir -p "$build/corpus/$target"
  dict=()
  [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$build/findings/$target-" \
    "$build/corpus/$target" "$root/fuzz/corpus/$target" >"$build/logs/$target.log" 2>&1 &
  pids+=($!)
  names+=("$target")
done

status=0
for i in "${!pids[@]}"; do
  target=${names[$i]}
  if wait "${pids[$i]}"; then result=ok; else result=FAILED; status=1; fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$target.log" | tail -1)
  echo "fuzz $target: $result, ${runs:-?} executions in ${seconds}s (log: $build/logs/$target.log)"
  [ "$result" = ok ] || tail -40 "$build/logs/$target.log"
done
exit $status
