#!/usr/bin/env bash
# fuzz/run_target.sh BINARY SECONDS WORKDIR [fresh]: runs one libFuzzer target for SECONDS on
# its corpus WORKDIR/corpus/<name>, seeded from the repository's fuzz/corpus/<name> (the seeds are
# copied, never written to). "fresh" starts from the seeds alone. Prints one line,
# "<name>: execs=E cov C ft F corpus=N ok", and fails when the target found a crash, keeping the
# input in WORKDIR/artifacts/<name>/ (replay: BINARY <input>).
set -euo pipefail
bin="$1" seconds="$2" work="$3" fresh="${4:-}"
src="$(cd "$(dirname "$0")" && pwd)"
name="$(basename "$bin")"
corpus="$work/corpus/$name" artifacts="$work/artifacts/$name" log="$work/$name.log"
[ "$fresh" = fresh ] && rm -rf "$corpus" "$artifacts"
mkdir -p "$corpus" "$artifacts"
[ -d "$src/corpus/$name" ] && cp -n "$src/corpus/$name"/* "$corpus/"
dict=()
[ -f "$src/$name.dict" ] && dict=("-dict=$src/$name.dict")
rc=0
"$bin" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" \
  "${dict[@]}" "$corpus" >"$log" 2>&1 || rc=$?
runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
cov="$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | tr -d ':' || true)"
if [ "$rc" -ne 0 ]; then
  echo "$name: execs=${runs:-0} ${cov:-cov 0 ft 0} failed: $(sed -n 's/.*Test unit written to //p' "$log" | tail -1)"
  tail -40 "$log"
  exit 1
fi
echo "$name: execs=${runs:-0} ${cov:-cov 0 ft 0} corpus=$(find "$corpus" -type f | wc -l) ok"
