#!/usr/bin/env bash
# ./bench/run list [megabytes...]: time and memory of the insertion-point dialog for pages of
# these sizes, with 78-byte and 8-byte lines.
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(8 16 32)
for mb in "${sizes[@]}"; do
  for len in 78 8; do
    "$build/bench/list_bench" "$dir" "$mb" "$len" 2>/dev/null
  done
done
