#!/usr/bin/env bash
# ./bench/run crash [kills]: the kill test of the page commands at length (the test suite runs it
# briefly): Save, Replace all, Delete-last, Edit-last, Undo, a download's install and the
# insertion-point write-back killed at random moments, 200 times by default. Prints the test's
# figures, the kills inside each command, last "crash: kills=K pages_lost=0 pages_torn=0
# backups_wrong=0".
set -euo pipefail
kills="${2:-200}"
cmake -S . -B build/crash -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/crash --target test_document page_rewriter >/dev/null
rc=0
out="$(QUILLET_CRASH_KILLS="$kills" build/crash/tests/document/test_document \
  --gtest_filter='CrashSafety.*' 2>&1)" || rc=$?
grep '^crash: kills inside' <<<"$out" || true
line="$(grep '^crash: kills=' <<<"$out" || true)"
if [ "$rc" -ne 0 ] || [ -z "$line" ]; then
  grep -E 'Failure|missing|torn|wrong|left behind' <<<"$out" | head -20 >&2 || true
  echo "${line:-crash: kills=$kills failed (see test_document --gtest_filter='CrashSafety.*')}"
  exit 1
fi
echo "$line"
