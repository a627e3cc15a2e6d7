#!/usr/bin/env bash
# Formats every C and C++ file of the repository with .clang-format; with --check it changes
# nothing and fails, naming the files, when one is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c')
if [ "${1:-}" = --check ]; then
  bad=()
  for f in "${files[@]}"; do
    "$format" --style=file "$f" | cmp -s - "$f" || bad+=("$f")
  done
  if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted (run scripts/format.sh): ${bad[*]}" >&2
    exit 1
  fi
  exit 0
fi
"$format" --style=file -i "${files[@]}"
