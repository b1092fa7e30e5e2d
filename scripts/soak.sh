#!/usr/bin/env bash
# Soak run (not part of the tests): the program in a real window under Xvfb,
# against the device simulator, for the given minutes with a fault every
# minute, then its figures: sessions and reconnections, the program's memory
# at start and end, whether its window ever stopped answering, and every CSV
# log checked for complete rows. Exits non-zero when something went wrong.
#
# The faults, in turn: the ECU falls silent for 8 s; the K-line adapter is
# pulled and plugged in again 5 s later; the unidirectional mode with a noisy,
# split packet stream for 15 s, left with its button; the same mode ended by
# the ECU without EE 88; fast F3/F2 presses. After each fault the session
# must come back: by itself (automatic reconnection is on in cfg.ini) or, once
# the program shows a box, the way a user brings it back (OK, then F2).
#
# Usage: scripts/soak.sh <minutes> [folder]   (the folder keeps cfg.ini,
# Logs/, the simulator's ports and the run's own log; default: a new one in /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: scripts/soak.sh <minutes> [folder]}
work=${2:-$(mktemp -d /tmp/varnek-soak.XXXXXX)}
root=$PWD

scripts/setup.sh xdotool python3
scripts/build.sh build
mkdir -p "$work/ports"
work=$(cd "$work" && pwd)
rm -rf "$work/Logs"
cp build/varnek-test "$work/varnek-test"
printf '%s\r\n' '[Ecu]' "Port=$work/ports/kline" 'CBR=1' 'AutoReconnect=1' \
  '[Interval]' 'Data=150' 'Screen=500' 'WriterPause=20' \
  '[Lambda]' "Port=$work/ports/lc1" '[Logs]' 'WriteLog=1' >"$work/cfg.ini"

pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'echo "soak.sh: line $LINENO failed" >&2' ERR
say() { printf '[%3d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*" | tee -a "$work/soak.log"; }

# --- The display, the simulator and the program ---
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>"$work/xvfb.log" &
pids+=($!)
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

sim_pid=
start_sim() {
  # The packet stream is always noisy and split; it runs only in the unidirectional mode.
  "$root/build/ecusim" --dir "$work/ports" --stream-noise --stream-split >>"$work/ecusim.log" 2>&1 &
  sim_pid=$!
  pids+=("$sim_pid")
  for _ in $(seq 50); do [ -L "$work/ports/kline" ] && return; sleep 0.1; done
  say "ecusim did not start"
  exit 1
}
start_sim

(cd "$work" && QT_QPA_PLATFORM=xcb exec ./varnek-test >"$work/program.log" 2>&1) &
app=$!
pids+=("$app")
main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app" --name '^tufeka Varnek test v 1.0$' | head -1)
[ -n "$main" ] || { say "the main window did not appear"; exit 1; }
# Pings the window every 2 s; it also maps the program's boxes, as a window manager would.
python3 scripts/window_ping.py "$main" 2 5 >"$work/ping.txt" 2>/dev/null &
ping_pid=$!
pids+=("$ping_pid")

# --- What the script watches ---
sessions=0 auto_reconnects=0 key_connects=0 boxes=0 unrecovered=0 last_f2=-100 crashed=0
declare -A seen_logs=()
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$app/status" 2>/dev/null || echo 0; }
# The sessions' CSV logs; the acceleration runs files beside them are not.
session_logs() { ls -t "$work"/Logs/*.csv 2>/dev/null | grep -v '_runs\(_samples\)\?\.csv$' || true; }
newest_log() { session_logs | head -1; }
log_bytes() { local f; f=$(newest_log); [ -n "$f" ] && stat -c %s "$f" || echo 0; }

# One second of watching: new session logs (a log that appears long after the
# last F2 was opened by the automatic reconnection) and whether the program lives.
observe() {
  local f
  for f in $(session_logs); do
    [ -n "${seen_logs[$f]:-}" ] && continue
    seen_logs[$f]=1
    sessions=$((sessions + 1))
    if ((SECONDS - last_f2 > 10)); then auto_reconnects=$((auto_reconnects + 1)); fi
  done
  if ! kill -0 "$app" 2>/dev/null; then
    crashed=1
    say "the program has ended by itself"
    exit 1
  fi
  sleep 1
}
watch_for() {
  local end=$((SECONDS + $1))
  while ((SECONDS < end)); do observe; done
}

# The program's own windows other than the main one: its message boxes.
open_boxes() { xdotool search --onlyvisible --pid "$app" 2>/dev/null | grep -vx "$main" || true; }
dismiss_boxes() {
  local w
  for w in $(open_boxes); do
    timeout 5 xdotool windowfocus --sync "$w" sleep 0.5 key Return 2>/dev/null || true
    boxes=$((boxes + 1))
    say "  box dismissed"
  done
}
press() {
  [ "$1" = F2 ] && last_f2=$SECONDS
  # The program takes a key once it has seen its window gain the focus.
  if [ "$(xdotool getwindowfocus 2>/dev/null)" != "$main" ]; then
    timeout 5 xdotool windowfocus --sync "$main" || say "  the main window did not take the focus"
    sleep 0.5
  fi
  xdotool key "$1"
}
# The unidirectional-mode button: the third on the tool bar.
click_unidir() { xdotool mousemove --window "$main" 73 33 click 1; }

# True when the session's log grows twice within the given seconds (once
# could be the rest of an ended session's log being written out).
polling() {
  local last grown=0 end=$((SECONDS + $1)) now
  last=$(log_bytes)
  while ((SECONDS < end)); do
    observe
    now=$(log_bytes)
    if [ "$now" != "$last" ]; then
      grown=$((grown + 1))
      last=$now
      ((grown < 2)) || return 0
    fi
  done
  return 1
}

# After a fault: the session must poll again, by itself while no box is shown
# (up to the given seconds), else the way a user brings it back.
recover() {
  local start=$SECONDS end=$((SECONDS + $1)) try
  while ((SECONDS < end)) && [ -z "$(open_boxes)" ]; do
    if polling 3; then
      say "  polling again after $((SECONDS - start)) s by itself"
      return 0
    fi
  done
  for try in 1 2 3 4 5; do
    dismiss_boxes
    press F2
    key_connects=$((key_connects + 1))
    if polling 10; then
      say "  polling again after $((SECONDS - start)) s, $try F2 press(es)"
      return 0
    fi
  done
  unrecovered=$((unrecovered + 1))
  say "  the session did not come back"
  dismiss_boxes
}

fault_silent() {
  say "fault: the ECU falls silent for 8 s"
  kill -USR1 "$sim_pid"
  watch_for 8
  kill -USR1 "$sim_pid"
}
fault_port() {
  say "fault: the K-line adapter is pulled, plugged in again 5 s later"
  kill -USR2 "$sim_pid"
  watch_for 5
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  start_sim
}
fault_stream() {
  say "fault: noisy, split packet stream for 15 s, left with the button"
  click_unidir
  watch_for 15
  click_unidir
}
fault_stream_end() {
  say "fault: packet stream ended by the ECU without EE 88"
  click_unidir
  watch_for 10
  kill -s RTMIN "$sim_pid"
}
fault_keys() {
  say "fault: F3 and F2 pressed fast, five times"
  local i
  for i in 1 2 3 4 5; do
    press F3
    sleep 0.2
    press F2
    sleep 0.3
  done
}
faults=(fault_silent fault_port fault_stream fault_stream_end fault_keys)
# Seconds each fault's session gets to come back by itself: the automatic
# reconnection follows a lost ECU, not a user's F3 or the mode's end.
declare -A fault_wait=([fault_silent]=40 [fault_port]=40 [fault_stream]=10 [fault_stream_end]=10 [fault_keys]=5)
declare -A fault_count=()

# --- The run ---
say "soak for $minutes min in $work (display $DISPLAY)"
sleep 2
recover 0
((unrecovered == 0)) || { say "the first session did not start"; exit 1; }
watch_for 5
rss_start=$(rss)
for ((m = 0; m < minutes; m++)); do
  minute_end=$((SECONDS + 60))
  f=${faults[m % ${#faults[@]}]}
  fault_count[$f]=$((${fault_count[$f]:-0} + 1))
  $f
  recover "${fault_wait[$f]}"
  while ((SECONDS < minute_end)); do observe; done
done
rss_end=$(rss)
rss_peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$app/status")

say "end: F3, then F10"
dismiss_boxes
press F3
watch_for 3
dismiss_boxes
kill "$ping_pid"
press F10
for _ in $(seq 20); do kill -0 "$app" 2>/dev/null || break; sleep 0.5; done
exited=yes
if kill -0 "$app" 2>/dev/null; then
  exited=no
  kill "$app"
fi

# --- The CSV files: each row as many fields as its header, each line ending
# in CR LF; the session logs with the log header of 90 fields, the runs files
# with their own ---
header=$(head -1 "$(session_logs | tail -1)" | tr -d '\r')
bad_logs=0 rows=0
for f in "$work"/Logs/*.csv; do
  expected=$header
  [[ $f =~ _runs(_samples)?\.csv$ ]] && expected=$(head -1 "$f" | tr -d '\r')
  problems=$(awk -v header="$expected" '
    BEGIN { fields = split(header, h, ",") }
    { line = $0
      if (substr(line, length(line), 1) != "\r") { print "line " NR " does not end in CR LF"; next }
      line = substr(line, 1, length(line) - 1)
      if (NR == 1) { if (line != header) print "line 1 is not the header"; next }
      if (split(line, f, ",") != fields) print "line " NR " has " split(line, f, ",") " fields" }
  ' "$f")
  [ -s "$f" ] && [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" != '\n' ] && problems+=" the file ends inside a row"
  rows=$((rows + $(wc -l <"$f") - 1))
  if [ -n "$problems" ]; then
    bad_logs=$((bad_logs + 1))
    say "CSV $(basename "$f"): $(echo "$problems" | head -3 | tr '\n' ';')"
  fi
done
logs=$(session_logs | wc -l)
files=$(ls "$work"/Logs/*.csv | wc -l)

pings=$(wc -l <"$work/ping.txt")
hangs=$(grep -c hang "$work/ping.txt" || true)
slowest=$( (grep -v hang "$work/ping.txt" || true) | awk '$2 > m { m = $2 } END { print m + 0 }')

faults_done=""
for f in "${faults[@]}"; do faults_done+=" ${f#fault_} ${fault_count[$f]:-0},"; done
say "---- figures ----"
say "run: $minutes min, faults:${faults_done%,}"
say "sessions: $sessions (CSV logs: $logs); automatic reconnections: $auto_reconnects; connects by F2: $key_connects; boxes dismissed: $boxes; faults the session did not come back from: $unrecovered"
say "memory (RSS): start $((rss_start / 1024)) MiB, end $((rss_end / 1024)) MiB, peak $((rss_peak / 1024)) MiB"
say "window: $pings pings, slowest answer $slowest ms, hangs (no answer within 5 s): $hangs"
say "CSV files: $files ($logs session logs, the rest runs files), $rows rows, $bad_logs with incomplete rows"
say "program ended on F10: $exited"
((hangs == 0 && bad_logs == 0 && unrecovered == 0 && crashed == 0)) && [ "$exited" = yes ]
