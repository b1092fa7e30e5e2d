#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against the device
# simulator (ecusim), so it works without a car.
#
# The demo runs from a folder of its own (demo/ in the repository, or the
# folder named by DEMO_DIR): the program keeps cfg.ini beside its executable,
# and a cfg.ini kept for a real adapter elsewhere is never touched. The demo's
# cfg.ini is written only when that folder has none; edit it freely.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=${DEMO_DIR:-$root/demo}

scripts/setup.sh
scripts/build.sh build

mkdir -p "$demo/ports"
cp build/varnek-test "$demo/varnek-test"
# The firmware commands need a Loader.dat. The simulator's stand-in never goes
# beside an executable, not even the demo's copy (started by hand with a real
# adapter, that copy would upload it into a car): the program finds it in its
# per-user data folder, which points into the demo folder only for this run.
sim_data=$demo/sim-data
mkdir -p "$sim_data/varnek-test"
cp sim/Loader.dat "$sim_data/varnek-test/Loader.dat"
# Earlier demos put the stand-in beside the demo program: take it away.
if cmp -s "$demo/Loader.dat" sim/Loader.dat; then rm -f "$demo/Loader.dat"; fi

kline=$demo/ports/kline
lc1=$demo/ports/lc1
if [ ! -f "$demo/cfg.ini" ]; then
  # Windows-1251 with CR LF, as the program writes it; these lines are ASCII.
  printf '%s\r\n' \
    '[Ecu]' "Port=$kline" 'CBR=1' \
    '[Interval]' 'Data=150' 'Screen=500' 'WriterPause=20' \
    '[Lambda]' "Port=$lc1" \
    '[Logs]' 'WriteLog=1' >"$demo/cfg.ini"
  echo "Wrote $demo/cfg.ini (K-line: $kline, LC-1: $lc1)"
fi

# The simulator also ends by itself when this script ends (parent-death signal).
build/ecusim --dir "$demo/ports" --flash-image "$demo/ecu-flash.bin" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -L "$kline" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "ecusim did not start" >&2; exit 1; }
  sleep 0.1
done

XDG_DATA_HOME=$sim_data "$demo/varnek-test"
