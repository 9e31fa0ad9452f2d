#!/usr/bin/env bash
# Runs the bundled example model in a scratch directory and says where the results are.
# usage: run_demo.sh path/to/stripwave [example-dir]
set -euo pipefail
exe=$(realpath "$1")
example=$(realpath "${2:-$(dirname "$0")/../examples/layered}")
top=$(realpath "$(dirname "$0")/..")
rundir="$top/build/demo"

rm -rf "$rundir"
mkdir -p "$rundir"
cp "$example"/inp_A "$example"/*.freq "$example"/*.mat "$rundir"/
echo "Running $(basename "$example") in $rundir ..."
start=$(date +%s)
set +e
(cd "$rundir" && "$exe")
status=$?
set -e
elapsed=$(( $(date +%s) - start ))

total=$(grep -c ' frequency number ' "$rundir/output" || true)
converged=$(grep -c '^  convergence  for freq' "$rundir/output" || true)
echo
echo "Finished in ${elapsed}s with exit status $status."
echo "Frequencies solved: $total, converged: $converged."
echo "Log:        $rundir/output"
echo "Snapshots:  $(cd "$rundir" && ls fort.5?? fort.6?? 2>/dev/null | tr '\n' ' ')"
echo "            (fort.50k: horizontal velocity, fort.60k: vertical velocity at snapshot k)"
echo "Traces:     $rundir/fort.60 (horizontal), $rundir/fort.70 (vertical)"
if command -v python3 >/dev/null 2>&1; then
  echo "Pictures:"
  python3 "$top/tools/plot_run.py" "$rundir" | sed 's/^/            /'
fi
exit "$status"
