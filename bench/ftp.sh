#!/usr/bin/env bash
# ./bench/run ftp [megabytes] [cycles]: TNMFTP against curl -P - on the same local pyftpdlib.
# Last line: "ftp: upload_vs_curl=R download_vs_curl=R cycle_vs_curl=R".
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/ftp_bench" "$dir" "${1:-200}" "${2:-20}"
