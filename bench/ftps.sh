#!/usr/bin/env bash
# ./bench/run ftps [megabytes]: TNMFTP over TLS in passive mode against curl --ssl-reqd on the
# same local pyftpdlib (TLS required, certificates of a test CA made for the run).
# Last line: "ftps: upload_vs_curl=R download_vs_curl=R".
set -euo pipefail
build="$1"; shift
dir=$(mktemp -d "${TMPDIR:-/var/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/ftp_bench" "$dir" "${1:-200}" 0 0 tls
