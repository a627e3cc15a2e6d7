#!/usr/bin/env bash
# ./bench/run crash [rounds]: the kill test of the page replacement at length (the test suite
# runs it briefly). Prints "crash: rounds=N torn=0" when every kill left a whole page.
set -euo pipefail
rounds="${2:-1000}"
cmake -S . -B build/crash -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/crash --target test_document page_rewriter >/dev/null
if QUILLET_CRASH_ROUNDS="$rounds" build/crash/tests/document/test_document \
     --gtest_filter='CrashSafety.*' >/dev/null; then
  echo "crash: rounds=$rounds torn=0"
else
  echo "crash: rounds=$rounds torn=1 (see test_document --gtest_filter='CrashSafety.*')"
  exit 1
fi
