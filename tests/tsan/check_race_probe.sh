#!/usr/bin/env bash
# Runs the race probe under ThreadSanitizer with the suppression file and
# passes when both of its deliberate races are reported and nothing else is:
# the file must silence Qt's own internals without hiding a race in program
# code that Qt's Core or Gui calls.
# Usage: check_race_probe.sh <probe> <suppression file>
set -uo pipefail
probe=$1
supp=$2
out=$(QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$supp exitcode=0 halt_on_error=0" "$probe" 2>&1)
reports=$(grep -c '^WARNING: ThreadSanitizer:' <<<"$out")
probe_reports=$(grep '^SUMMARY: ThreadSanitizer:' <<<"$out" | grep -c 'RaceProbe')
for race in RaceProbeReadInHandOff RaceProbeReadInKeyHandler; do
  if ! grep -q "$race" <<<"$out"; then
    echo "the deliberate race in $race was not reported with $supp in place" >&2
    exit 1
  fi
done
if ((probe_reports != reports)); then
  echo "$out" >&2
  echo "$((reports - probe_reports)) report(s) beside the probe's races: Qt internals the file misses?" >&2
  exit 1
fi
echo "both deliberate races were reported ($reports reports), nothing else"
