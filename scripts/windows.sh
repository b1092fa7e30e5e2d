#!/usr/bin/env bash
# Builds the core's Windows programs with MinGW-w64 and runs their tests under
# Wine against the simulator: ecusim runs on Linux, its pseudo-terminals are
# mapped into a Wine prefix as COM ports, and the tests work its switches
# through its control channel.
#
# Usage: scripts/windows.sh [WINDOWS_BUILD_DIR]   (default build-win)
#   VARNEK_LINUX_BUILD  the Linux build folder that has or gets ecusim (build)
#   VARNEK_WIN_BENCH=0  skip the benchmark figures printed after the tests
#   VARNEK_WIN_BUILD=0  run what an earlier call built (scripts/stress.sh)
#   VARNEK_WIN_RUN=0    only build
#
# The ports inside the prefix:
#   COM1  <- ecusim's K-line (adapter and ECU), any rate
#   COM2  <- ecusim's LC-1
#   COM10 <- line1, COM11 <- line2: the test lines, made anew by each test with
#                                   the device it needs (ecusim "device")
# The test programs are made in cmake/windows.cmake (their sources: cmake/units.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=${1:-build-win}
linux=${VARNEK_LINUX_BUILD:-build}
case $win in /*) ;; *) win=$root/$win ;; esac
case $linux in /*) ;; *) linux=$root/$linux ;; esac

# --- What it needs: the MinGW-w64 compiler (POSIX threads), Wine, GoogleTest's source.
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || need+=(wine wine64)
[[ -f /usr/src/googletest/CMakeLists.txt ]] || need+=(googletest)
if ((${#need[@]})); then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  echo "windows.sh: installing ${need[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

if [[ ${VARNEK_WIN_BUILD:-1} != 0 ]]; then
  # --- The simulator, built for Linux.
  if [[ ! -f $linux/CMakeCache.txt ]]; then
    cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  fi
  cmake --build "$linux" --target ecusim -j"$(nproc)" >/dev/null

  # --- The Windows programs.
  cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${launcher[@]}" >/dev/null
  cmake --build "$win" -j"$(nproc)" >/dev/null
  echo "windows.sh: built in $win"
fi
[[ ${VARNEK_WIN_RUN:-1} != 0 ]] || exit 0

# --- A Wine prefix of our own, quiet and without Mono or Gecko.
export WINEPREFIX=$win/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sims=$win/sim
mkdir -p "$sims"
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  wineboot -i >/dev/null 2>&1
fi

# Wine lists a COM port in the serial device map only when the registry maps
# it; the mapping is read when the prefix's wineserver starts.
ports=$win/ports.reg
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  printf '"COM1"="%s"\n"COM2"="%s"\n"COM10"="%s"\n"COM11"="%s"\n' \
    "$sims/kline" "$sims/lc1" "$sims/line1" "$sims/line2"
} >"$ports"
wine reg import "$ports" >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
# The server and Wine's own background processes start here, quiet and kept:
# started under a test they would write into its output, and hold it open.
wineserver -p >/dev/null 2>&1
wine reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1

# --- The simulator, with its control channel; each test program and the
# figures get a fresh one (its test lines as --script-lines makes them).
# Ended with this script.
simlog=$win/ecusim.log
simpid=
cleanup() {
  [[ -n $simpid ]] && kill "$simpid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
start_sim() {
  [[ -n $simpid ]] && { kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true; }
  "$linux/ecusim" --dir "$sims" --control 0 --any-rate --script-lines 2 --run-ups 0 --blips 0 >"$simlog" 2>&1 &
  simpid=$!
  control=
  for _ in $(seq 1 200); do
    control=$(sed -n 's/^ecusim: control 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$simlog")
    [[ -n $control ]] && break
    kill -0 "$simpid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z $control ]]; then
    echo "windows.sh: ecusim did not start:" >&2
    cat "$simlog" >&2
    exit 1
  fi
  export VARNEK_SIM_CONTROL=$control
}
export VARNEK_SIM_PORTS="kline=COM1,lc1=COM2,line1=COM10,line2=COM11"

# --- The tests, each program whole under Wine, one after the other.
status=0
for program in $(ctest --test-dir "$win" -N | sed -n 's/^ *Test *#[0-9]*: //p'); do
  start_sim
  ctest --test-dir "$win" --output-on-failure -R "^$program\$" || status=$?
done

# --- Figures under Wine: the echo at once (the byte is waiting when the
# program looks), and after its wire time at 9600 baud (the program waits in
# WaitCommEvent first); then the millisecond delays.
if [[ ${VARNEK_WIN_BENCH:-1} != 0 && $status == 0 ]]; then
  echo "windows.sh: figures under Wine"
  start_sim
  exec 3<>"/dev/tcp/127.0.0.1/$control"
  echo "time-scale line2 1" >&3
  read -r answer <&3
  [[ $answer == ok ]] || echo "windows.sh: time-scale line2: $answer" >&2
  exec 3>&-
  wine "$win/bench_port_echo.exe" COM10 300 || status=$?
  wine "$win/bench_port_echo.exe" COM11 300 9600 || status=$?
  wine "$win/bench_delay.exe" || status=$?
fi
exit "$status"
