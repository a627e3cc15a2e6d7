#!/usr/bin/env bash
# ./bench/run ftp [megabytes] [cycles] [gap_megabytes]: TNMFTP against curl on the same local
# pyftpdlib, in active mode (curl -P -) and in passive mode (curl's EPSV); curl's downloads are
# followed by an fsync, as Quillet's are durable. Last line:
# "ftp: upload_vs_curl=R download_vs_curl=R cycle_vs_curl=R download_gap_ms=G gap_megabytes=M
# passive_upload_vs_curl=R passive_download_vs_curl=R passive_cycle_vs_curl=R publish_vs_curl=R"
# (the first three active), G the largest gap of a 10 ms timer during one download of M megabytes;
# publish_vs_curl compares 20 runs of `quillet publish` of a 100 KB page with 20 of `curl -T`.
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/ftp_bench" "$dir" "${1:-200}" "${2:-20}" "${3:-500}"
