#!/usr/bin/env bash
# ./bench/run hardening [fuzz_seconds] [kills]: runs the hardening checks one after the other:
# every fuzz target for fuzz_seconds (60 by default), the kill test (200 kills by default), the
# full-disk and I/O-error tests, and the hostile-server checks of bench/hostile.sh. Each one's
# output goes to build/hardening/<name>.log; prints one line, "hardening: fuzz_targets=N
# fuzz_crashes=0 kills=K pages_lost=0 disk_full_ok=yes eio_cases=E eio_ok=E server_faults=F
# server_faults_ok=F max_gui_gap_ms=G", and fails when any check did.
set -uo pipefail
build="$1" fuzz_seconds="${2:-60}" kills="${3:-200}"
logs=build/hardening
mkdir -p "$logs"
failed=0
# The value of key=value in the last line of a log that starts with prefix, or "?".
field() { grep "^$2" "$logs/$1.log" | tail -1 | sed -n "s/.*[ :]$3=\([^ ]*\).*/\1/p" | grep . || echo "?"; }

bench/fuzz.sh "$build" "$fuzz_seconds" >"$logs/fuzz.log" 2>&1 || failed=1
bench/crash.sh "$build" "$kills" >"$logs/crash.log" 2>&1 || failed=1

cmake --build build/crash --target test_disk_faults >/dev/null 2>"$logs/disk.log" || failed=1
build/crash/tests/document/test_disk_faults >>"$logs/disk.log" 2>&1 || failed=1
disk_full_ok="$(field disk 'disk:' full_ok)"
grep -q 'DiskFull.*SKIPPED\|Skipped' "$logs/disk.log" && disk_full_ok="skipped(needs-root)"

if [ -x bench/hostile.sh ]; then
  bench/hostile.sh "$build" >"$logs/hostile.log" 2>&1 || failed=1
else
  echo "hostile: server_faults=missing server_faults_ok=missing max_gui_gap_ms=missing" >"$logs/hostile.log"
  echo "bench/hostile.sh is missing: no hostile-server figures" >&2
  failed=1
fi

lost="$(field crash 'crash: kills=' pages_lost)"
torn="$(field crash 'crash: kills=' pages_torn)"
wrong="$(field crash 'crash: kills=' backups_wrong)"
[ "$torn" = 0 ] && [ "$wrong" = 0 ] || failed=1
[ "$disk_full_ok" = yes ] || failed=1
echo "hardening: fuzz_targets=$(field fuzz 'fuzz:' targets) fuzz_crashes=$(field fuzz 'fuzz:' crashes)" \
  "kills=$(field crash 'crash: kills=' kills) pages_lost=$lost disk_full_ok=$disk_full_ok" \
  "eio_cases=$(field disk 'eio:' cases) eio_ok=$(field disk 'eio:' ok)" \
  "server_faults=$(field hostile 'hostile:' server_faults) server_faults_ok=$(field hostile 'hostile:' server_faults_ok)" \
  "max_gui_gap_ms=$(field hostile 'hostile:' max_gui_gap_ms)"
[ "$failed" -eq 0 ]
