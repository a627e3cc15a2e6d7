#!/usr/bin/env bash
# ./bench/run list [megabytes...]: time and memory of the insertion-point dialog for pages of
# these sizes, with 78-byte and 8-byte lines: listing the page against cp copying it, writing it
# back against cp followed by a sync of the copy.
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(32 256)
for mb in "${sizes[@]}"; do
  for len in 78 8; do
    line="$("$build/bench/list_bench" "$dir" "$mb" "$len" 2>/dev/null)"
    sync
    start=$(date +%s.%N)
    cp "$dir/list.html" "$dir/copy.html"
    end=$(date +%s.%N)
    sync "$dir/copy.html"
    synced=$(date +%s.%N)
    rm -f "$dir/copy.html" "$dir/list.html" "$dir/list.BAK"
    awk -v line="$line" -v start="$start" -v end="$end" -v synced="$synced" 'BEGIN {
      cp = end - start; cpsync = synced - start; n = split(line, f, " "); s = 0; w = 0
      for (i = 1; i <= n; i++) {
        if (f[i] ~ /^seconds=/) { v = f[i]; sub(/seconds=/, "", v); s = v }
        if (f[i] ~ /^save_seconds=/) { v = f[i]; sub(/save_seconds=/, "", v); w = v }
      }
      if (s > 0) printf "%s cp_seconds=%.3f ratio_vs_cp=%.0f cp_sync_seconds=%.3f save_vs_cp_sync=%.1f\n",
                        line, cp, s / (cp > 0 ? cp : 0.001), cpsync, w / (cpsync > 0 ? cpsync : 0.001)
      else print line }'
  done
done
