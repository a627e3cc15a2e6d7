#!/usr/bin/env bash
# ./bench/run fuzz [seconds]: builds the libFuzzer targets of fuzz/ with clang in build/fuzz and
# runs each for the given seconds (60 by default), growing its corpus in build/fuzz/corpus/.
# Prints a line per target, then "fuzz: targets=N crashes=M execs=E"; a failing input is kept in
# build/fuzz/artifacts/<target>/ and replays with "build/fuzz/fuzz/<target> <input>".
set -euo pipefail
seconds="${2:-60}"
. scripts/deps.sh
quillet_ensure_packages "${QUILLET_FUZZ_PACKAGES[@]}"
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target fuzz >/dev/null

targets=0 crashes=0 execs=0
for src in fuzz/fuzz_*.cpp; do
  name="$(basename "$src" .cpp)"
  mkdir -p "$dir/corpus/$name" "$dir/artifacts/$name"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
  log="$dir/$name.log"
  rc=0
  "$dir/fuzz/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$name/" "${dict[@]}" "$dir/corpus/$name" >"$log" 2>&1 || rc=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  cov="$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | tr -d ':' || true)"
  corpus="$(find "$dir/corpus/$name" -type f | wc -l)"
  result=ok
  if [ "$rc" -ne 0 ]; then
    result="failed ($(sed -n 's/.*Test unit written to //p' "$log" | tail -1), see $log)"
    crashes=$((crashes + 1))
  fi
  echo "$name: execs=${runs:-0} ${cov:-cov 0 ft 0} corpus=$corpus $result"
  targets=$((targets + 1))
  execs=$((execs + ${runs:-0}))
done
echo "fuzz: targets=$targets crashes=$crashes execs=$execs"
[ "$crashes" -eq 0 ]
