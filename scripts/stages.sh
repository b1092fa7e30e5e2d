# shellcheck shell=bash
# The stages that run tests, each as a build and a run, shared by
# scripts/ci.sh and scripts/stress.sh (which builds once and runs many times).
# Sourced from the repository's root.
#   <stage>_build, <stage>_run  for stage in tests, asan, tsan, windows
jobs=$(nproc)

# Runs CTest in a build folder; further arguments select tests.
run_ctest() {
  local dir=$1
  shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" "$@")
}

tests_build() { scripts/setup.sh && scripts/build.sh build; }
tests_run() { run_ctest build; }

# AddressSanitizer with UndefinedBehaviorSanitizer over the whole suite.
asan_build() { scripts/build.sh build-asan -DVARNEK_SANITIZE=ON -DVARNEK_BENCH=OFF; }
# Undefined behaviour fails the test instead of only printing a line.
asan_run() { UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 run_ctest build-asan; }

# ThreadSanitizer over the units with threads of their own: the link with its
# port (link), the session (ecu), the LC-1 reader (lambda) and the windows
# (app, settings); and the check that the suppression file still lets a real
# race through (tsan). Only their programs are built.
tsan_build() {
  BUILD_TARGET="test_link test_ecu test_lambda test_app test_settings tsan_race_probe" \
    scripts/build.sh build-tsan -DVARNEK_TSAN=ON -DVARNEK_BENCH=OFF
}
tsan_run() {
  local options="halt_on_error=1 second_deadlock_stack=1"
  # The core links no Qt: its threads are checked with nothing suppressed.
  TSAN_OPTIONS=$options run_ctest build-tsan -L '^(link|ecu|lambda)$' &&
    TSAN_OPTIONS="suppressions=$PWD/tests/tsan/tsan.supp $options" run_ctest build-tsan -L '^(app|settings|tsan)$'
}

# The core built for Windows, its tests under Wine.
windows_build() { VARNEK_WIN_RUN=0 scripts/windows.sh; }
windows_run() { VARNEK_WIN_BUILD=0 VARNEK_WIN_BENCH=0 scripts/windows.sh; }
