#!/usr/bin/env bash
# Continuous integration: the fast test run first (scripts/test.sh), then the
# slower checks, each in a build folder of its own (scripts/stages.sh):
# AddressSanitizer with UndefinedBehaviorSanitizer over the whole suite,
# ThreadSanitizer over the threaded units, a short run of every fuzz target,
# the core built for Windows with its tests under Wine, the Debian package's
# checks and the Windows program with its installer under Wine. Ends with a table
# of every stage's time, also when a stage fails (the stages after it do not
# run).
# Usage: scripts/ci.sh [stage...]   (default: every stage, in order)
set -euo pipefail
cd "$(dirname "$0")/.."
selected=("$@")
# The compiler cache keys on paths inside the clone, not where the clone is,
# so a fresh clone in another folder reuses the last run's objects.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
scripts/setup.sh ccache
source scripts/stages.sh

results=()
table() {
  echo "=== stage times"
  printf '%-14s %8s  %s\n' stage seconds result "${results[@]}" total "$SECONDS" ""
}
stage() {  # stage <name> <command...>: runs it unless other stages were asked for
  local name=$1 start=$SECONDS
  shift
  if ((${#selected[@]})) && [[ " ${selected[*]} " != *" $name "* ]]; then return 0; fi
  echo "=== stage $name"
  if ("$@"); then
    results+=("$name" $((SECONDS - start)) passed)
  else
    results+=("$name" $((SECONDS - start)) FAILED)
    echo "=== stage $name failed" >&2
    table
    exit 1
  fi
}

stage tests scripts/test.sh
# The units' one direction and the core without Qt, in the sources and in
# what the test stage built; app's rooms, process-wide variables, long
# functions and files.
stage includes python3 scripts/check_includes.py --build build
stage asan eval 'asan_build && asan_run'
stage tsan eval 'tsan_build && tsan_run'
stage fuzz scripts/fuzz.sh 20
stage windows scripts/windows.sh
stage package scripts/check_package.sh  # the Debian package: lintian, AppStream, manual pages
stage windows-app scripts/windows-app.sh test
table
