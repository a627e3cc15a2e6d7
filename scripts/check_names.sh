#!/usr/bin/env bash
# Each name in docs/NAMES.md's table of kept names is still found in the first file given for it.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r row; do
  name=$(cut -d'`' -f2 <<<"$row")
  file=$(cut -d'`' -f4 <<<"$row")
  if [ ! -e "$file" ]; then
    echo "docs/NAMES.md: $name: no file $file" >&2; status=1
  elif ! grep -qw -- "$name" "$file"; then
    echo "docs/NAMES.md: $name is not in $file" >&2; status=1
  fi
done < <(sed -n '/^## Names kept in the code/,/^## /p' docs/NAMES.md | grep '^| `')
exit $status
