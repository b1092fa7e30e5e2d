#!/usr/bin/env bash
# Renders PNG screenshots under Xvfb into the folder given as the argument:
# the main window with the application font at 9, 11 and 13 pt (each page, and
# at its minimum size, listed in minimum-sizes.txt), the settings dialog, the
# trace window and the log view (its tracks, its cell table and its scatter
# plot).
# Uses the build folder build/ (or $BUILD_DIR), building it when needed.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 <output folder>" >&2
  exit 2
fi
out=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
scripts/setup.sh
scripts/build.sh "$build"
VARNEK_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/test_app" --gtest_also_run_disabled_tests --gtest_filter='Screenshots.*' >/dev/null
ls "$out"/*.png
cat "$out/minimum-sizes.txt"
