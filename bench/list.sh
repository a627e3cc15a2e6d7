#!/usr/bin/env bash
# ./bench/run list [megabytes...]: time and memory of the insertion-point dialog for pages of
# these sizes, with 78-byte and 8-byte lines, against cp copying the same page.
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(8 16 32)
for mb in "${sizes[@]}"; do
  for len in 78 8; do
    line="$("$build/bench/list_bench" "$dir" "$mb" "$len" 2>/dev/null)"
    sync
    start=$(date +%s.%N)
    cp "$dir/list.html" "$dir/copy.html"
    end=$(date +%s.%N)
    rm -f "$dir/copy.html"
    awk -v line="$line" -v start="$start" -v end="$end" 'BEGIN {
      cp = end - start; n = split(line, f, " "); s = 0
      for (i = 1; i <= n; i++) if (f[i] ~ /^seconds=/) { sub(/seconds=/, "", f[i]); s = f[i] }
      if (s > 0) printf "%s cp_seconds=%.3f ratio_vs_cp=%.0f\n", line, cp, s / (cp > 0 ? cp : 0.001)
      else print line }'
  done
done
