#!/usr/bin/env bash
# ./bench/run page [megabytes] [rounds] [LF-only page megabytes]
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/page_bench" "$dir" "${1:-100}" "${2:-3}" "${3:-1024}"
