#!/usr/bin/env bash
# Runs an example model in build/demo, draws its snapshots and gathers, and says where the
# results are.
# usage: run_demo.sh path/to/stripwave [example-dir]    (PYTHON: the Python to draw with)
set -euo pipefail
exe=$(realpath "$1")
top=$(realpath "$(dirname "$0")/..")
example=$(realpath "${2:-$top/examples/layered}")
rundir="$top/build/demo"
python=${PYTHON:-$("$top/tools/find-python")}

rm -rf "$rundir"
mkdir -p "$rundir"
cp "$example"/inp_A "$example"/*.freq "$example"/*.mat "$example"/model.json "$rundir"/
# The direct solver, when the build has it, solves every frequency exactly (the strip
# iteration's default pass limits leave the lowest frequencies unconverged).
solver=()
case "$("$exe" --version)" in
  *"direct solver: built"*) solver=(--solver direct) ;;
esac
echo "Running $(basename "$example") in $rundir ${solver[*]:+with ${solver[*]} }..."
start=$(date +%s)
set +e
(cd "$rundir" && "$exe" "${solver[@]}")
status=$?
set -e
elapsed=$(( $(date +%s) - start ))

echo
echo "Finished in ${elapsed}s with exit status $status."
if [ ${#solver[@]} -gt 0 ]; then
  echo "(Solved with ${solver[*]}; run $exe without --solver for the strip iteration.)"
fi
stripwave_py() { PYTHONPATH="$top/python" MPLBACKEND=Agg "$python" -m stripwave "$@"; }
stripwave_py info "$rundir" || true
echo
echo "Log:        $rundir/output"
echo "Snapshots:  fort.50k (horizontal) and fort.60k (vertical velocity) for snapshot k"
echo "Traces:     fort.60 (horizontal), fort.70 (vertical)"
echo "Pictures (snapshots with both components; gathers as images and wiggles, the dashed"
echo "line is distance / P velocity at the source; the model):"
stripwave_py plot "$rundir" --moveout auto | sed 's/^/            /'
echo "SEG-Y:      $python -m stripwave export $rundir --format segy   (PYTHONPATH=$top/python)"
exit "$status"
