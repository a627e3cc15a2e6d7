#!/usr/bin/env bash
# ./bench/run fuzz [seconds]: builds the libFuzzer targets of fuzz/ with clang in build/fuzz and
# runs each for the given seconds (60 by default), growing its corpus in build/fuzz/corpus/ from
# the seeds in fuzz/corpus/. Prints a line per target, the executions, and last
# "fuzz: targets=N seconds_each=S crashes=C"; a failing input is kept in
# build/fuzz/artifacts/<target>/ and replays with "build/fuzz/fuzz/<target> <input>".
set -euo pipefail
seconds="${2:-60}"
. scripts/deps.sh
quillet_ensure_packages
dir="${QUILLET_FUZZ_DIR:-build/fuzz}"
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target fuzz >/dev/null

targets=0 crashes=0 execs=0
for src in fuzz/fuzz_*.cpp; do
  name="$(basename "$src" .cpp)"
  line="$(fuzz/run_target.sh "$dir/fuzz/$name" "$seconds" "$dir" | head -1)" || crashes=$((crashes + 1))
  echo "$line"
  runs="$(sed -n 's/.*execs=\([0-9]*\).*/\1/p' <<<"$line")"
  targets=$((targets + 1))
  execs=$((execs + ${runs:-0}))
done
echo "fuzz executions: $execs"
echo "fuzz: targets=$targets seconds_each=$seconds crashes=$crashes"
[ "$crashes" -eq 0 ]
