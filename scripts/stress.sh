#!/usr/bin/env bash
# Runs one CI stage's tests many times beside two CPU-bound processes, to find
# tests that fail only now and then on a busy machine. Builds once, then
# repeats only the test runs; prints the runs, the failures and the names of
# the tests that failed. The log of every failed run is kept in
# build-stress/<stage>/.
# Usage: scripts/stress.sh STAGE N   (STAGE: tests, asan, tsan, windows)
set -euo pipefail
cd "$(dirname "$0")/.."
stage=${1:?usage: scripts/stress.sh STAGE N}
count=${2:?usage: scripts/stress.sh STAGE N}
case $stage in tests | asan | tsan | windows) ;; *)
  echo "stress.sh: unknown stage $stage (tests, asan, tsan, windows)" >&2
  exit 2
  ;;
esac
source scripts/stages.sh
"${stage}_build"

logs=build-stress/$stage
mkdir -p "$logs"
hogs=()
trap 'kill "${hogs[@]}" 2>/dev/null || true' EXIT
for _ in 1 2; do
  yes >/dev/null &
  hogs+=($!)
done

failures=0
declare -A failed  # test name -> how many runs it failed
for ((run = 1; run <= count; run++)); do
  log=$logs/run-$run.log
  start=$SECONDS
  if "${stage}_run" >"$log" 2>&1; then
    result=passed
    rm -f "$log"
  else
    result="FAILED (log $log)"
    failures=$((failures + 1))
    # CTest's list of failed tests, and GoogleTest's own lines (a Windows test
    # program is one CTest test holding many).
    names=$({
      awk '/^The following tests FAILED:/ { listed = 1; next } listed && $2 == "-" { print $3 }' "$log"
      sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*$/\1/p' "$log"
    } | sort -u)
    for name in $names; do failed[$name]=$((${failed[$name]:-0} + 1)); done
    echo "  failed: ${names//$'\n'/ }"
  fi
  echo "stress $stage: run $run of $count $result in $((SECONDS - start)) s, load $(cut -d' ' -f1-3 /proc/loadavg)"
done

echo "stress $stage: $count runs, $failures failed"
for name in "${!failed[@]}"; do echo "  $name: failed ${failed[$name]} times"; done
((failures == 0))
