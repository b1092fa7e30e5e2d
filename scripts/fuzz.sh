#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, ASan and UBSan) into
# build-fuzz/ and runs each for the given number of seconds (default 20),
# starting from its seed corpus tests/fuzz/corpus/<name>/. New inputs are kept
# in build-fuzz/corpus/<name>/ (the next run goes on from them); an input that
# fails is saved in build-fuzz/crashes/ and ends the script with an error.
# Usage: scripts/fuzz.sh [seconds] [name...]   (names: kline_stream, cfg_ini, ...)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true

scripts/setup.sh clang libclang-rt-dev
if [ ! -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
  echo "clang's libFuzzer runtime is missing (libclang-rt-dev)" >&2
  exit 1
fi
BUILD_TARGET=fuzzers scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVARNEK_FUZZ=ON \
  -DVARNEK_TESTS=OFF -DVARNEK_BENCH=OFF

names=("$@")
if ((${#names[@]} == 0)); then
  for src in tests/fuzz/fuzz_*.cpp; do
    n=$(basename "$src" .cpp)
    names+=("${n#fuzz_}")
  done
fi

export UBSAN_OPTIONS=print_stacktrace=1
# The targets that go through files keep them here, in memory when possible.
TMPDIR=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/varnek-fuzz.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
failed=()
for name in "${names[@]}"; do
  corpus=build-fuzz/corpus/$name
  log=build-fuzz/fuzz_$name.log
  mkdir -p "$corpus" build-fuzz/crashes
  dict=()
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")
  # New inputs go to the first folder; the seeds in the repository stay as they are.
  if build-fuzz/tests/fuzz/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crashes/$name-" "${dict[@]}" "$corpus" "tests/fuzz/corpus/$name" \
    >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "fuzz $name: ${runs:-?} inputs in ${seconds} s, no failure ($(ls "$corpus" | wc -l) inputs kept)"
  else
    failed+=("$name")
    echo "fuzz $name: FAILED (log $log, input in build-fuzz/crashes/)" >&2
    grep -m1 -A30 -E 'ERROR: |runtime error|check failed|deadly signal' "$log" >&2 || tail -40 "$log" >&2
  fi
done
((${#failed[@]} == 0)) || { echo "fuzzing failed: ${failed[*]}" >&2; exit 1; }
