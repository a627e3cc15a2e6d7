#!/usr/bin/env bash
# ./bench/run socket [megabytes] [round trips]: SendFile and CaptureFile against plain blocking
# send/recv loops on the same loopback peers, and Transaction round trips against a plain
# send-and-receive loop. Last line: "socket: file_vs_plain=R transaction_vs_plain=R".
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/socket_bench" "$dir" "${1:-200}" "${2:-10000}"
