#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: run.sh <build dir> <seconds per target>.
# Each target starts from its committed seeds (fuzz/corpus/<target>/) and a working corpus
# under <build dir>/corpus/<target>/ that grows from run to run; crashing inputs are written
# to <build dir>/artifacts/. Prints executions per target; exits 1 when any target failed.
set -uo pipefail

build=${1:?build directory}
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
status=0
summary=()
for dir in "$seeds"/*/; do
  target=$(basename "$dir")
  binary="$build/fuzz/$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is not built" >&2
    status=1
    continue
  fi
  mkdir -p "$build/corpus/$target" "$build/artifacts"
  log="$build/$target.log"
  echo "fuzz: $target for ${seconds}s"
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$target" "$dir" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  if [ $rc -ne 0 ]; then
    status=1
    summary+=("$target: FAILED after ${runs:-?} executions (see $log)")
    grep -m1 -E 'ERROR:|property broken|runtime error' "$log" >&2
  else
    summary+=("$target: ${runs:-?} executions, no failure")
  fi
done
printf '%s\n' "${summary[@]}"
exit $status
