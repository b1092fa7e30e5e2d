#!/usr/bin/env bash
# Continuous integration: the fast test run first (scripts/test.sh), then the
# slower checks, each in a build folder of its own and timed: AddressSanitizer
# with UndefinedBehaviorSanitizer over the whole suite, ThreadSanitizer over
# the threaded units, a short run of every fuzz target, and the core built
# for Windows with its tests under Wine.
# Usage: scripts/ci.sh [stage...]   (default: every stage, in order)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
selected=("$@")
scripts/setup.sh ccache

# Runs CTest in a build folder; further arguments select tests.
run_ctest() {
  local dir=$1
  shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" "$@")
}

asan_suite() {
  scripts/build.sh build-asan -DVARNEK_SANITIZE=ON -DVARNEK_BENCH=OFF
  # Undefined behaviour fails the test instead of only printing a line.
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 run_ctest build-asan
}

# The units with threads of their own: the link with its port (link), the
# session (ecu), the LC-1 reader (lambda) and the windows (app, settings);
# and the check that the suppression file still lets a real race through
# (tsan).
tsan_threaded_units() {
  scripts/build.sh build-tsan -DVARNEK_TSAN=ON -DVARNEK_BENCH=OFF
  # The core links no Qt: its threads are checked with nothing suppressed.
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan -L '^(link|ecu|lambda)$'
  TSAN_OPTIONS="suppressions=$PWD/tests/tsan/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
    run_ctest build-tsan -L '^(app|settings|tsan)$'
}

times=()
stage() {  # stage <name> <command...>: runs it unless other stages were asked for
  local name=$1 start=$SECONDS
  shift
  if ((${#selected[@]})) && [[ " ${selected[*]} " != *" $name "* ]]; then return 0; fi
  echo "=== stage $name"
  "$@"
  times+=("$name $((SECONDS - start)) s")
  echo "=== stage $name passed in $((SECONDS - start)) s"
}

stage tests scripts/test.sh
# The units' one direction and the core without Qt, in the sources and in
# what the test stage built.
stage includes python3 scripts/check_includes.py --build build
stage asan asan_suite
stage tsan tsan_threaded_units
stage fuzz scripts/fuzz.sh 20
stage windows scripts/windows.sh
stage package scripts/check_package.sh  # the Debian package: lintian, AppStream, manual pages
stage windows-app scripts/windows-app.sh test

summary=$(printf '%s, ' "${times[@]}")
echo "=== all stages passed in $SECONDS s (${summary%, })"
