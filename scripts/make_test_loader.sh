#!/usr/bin/env bash
# Makes the simulator's stand-in Loader.dat: 359 bytes of text that say what
# they are. It is not a loader for any real ECU; the simulated boot code takes
# any 359 bytes. Usage: scripts/make_test_loader.sh [output] (default sim/Loader.dat)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-sim/Loader.dat}
{
  printf 'VARNEK-TEST SIMULATOR LOADER - NOT A REAL ECU LOADER\n'
  for _ in $(seq 1 20); do printf 'FOR THE ECU SIMULATOR ONLY. '; done
} | head -c 359 >"$out"
size=$(stat -c %s "$out")
[ "$size" -eq 359 ] || { echo "made $size bytes instead of 359" >&2; exit 1; }
