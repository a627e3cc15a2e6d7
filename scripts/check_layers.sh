#!/usr/bin/env bash
# Each layer includes only what it may use (the build refuses most of it already, since every
# library links only its own layers; this names the offending line at once):
#   document/ and markup/   the standard library and POSIX, markup/ also document/
#   platform core           the above, the platform core and QtCore
#   net/                    the same and the TLS channel
#   commands/               the same, net/ and markup/: the commands both front ends run
#   cli/                    the same and commands/: the command line, QtCore only
#   dialogs/                anything but the main window and the command line
# Usage: check_layers.sh QTCORE_HEADER_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
qtcore=$1
core=$(sed -n '/add_library(quillet_platform_core/,/)/p' platform/CMakeLists.txt | grep -oE '[a-z_]+\.cpp' | sed 's/\.cpp$//')
core_files=$(for c in $core; do ls platform/$c.h platform/$c.cpp 2>/dev/null; done)
core_re=$(echo $core | sed 's/ /|/g')
status=0
complain() { echo "$1: may not include $2" >&2; status=1; }

check() { # files allowed-quoted-regex qt(none|core)
  local files=$1 allowed=$2 qt=$3 f line inc
  for f in $files; do
    while IFS= read -r line; do
      inc=$(sed -E 's/^#include [<"]([^>"]+)[>"].*/\1/' <<<"$line")
      if [[ $line == '#include "'* ]]; then
        [[ $inc =~ ^($allowed)$ ]] || complain "$f" "$inc"
      elif [[ $inc == Q* && $qt != any ]]; then
        if [ "$qt" = none ] || [ ! -e "$qtcore/${inc#QtCore/}" ]; then complain "$f" "<$inc>"; fi
      fi
    done < <(grep -E '^#include ' "$f")
  done
}

check "$(git ls-files 'document/*.h' 'document/*.cpp')" 'document/[a-z_]+\.h' none
check "$(git ls-files 'markup/*.h' 'markup/*.cpp')" '(document|markup)/[a-z_]+\.h' none
check "$core_files" "document/[a-z_]+\.h|platform/($core_re)\.h" core
check "$(git ls-files 'net/*.h' 'net/*.cpp')" "(document|net)/[a-z_]+\.h|platform/($core_re|tls_channel)\.h" core
check "$(git ls-files 'commands/*.h' 'commands/*.cpp')" "(document|markup|net|commands)/[a-z_]+\.h|platform/($core_re|tls_channel)\.h" core
check "$(git ls-files 'cli/*.h' 'cli/*.cpp')" "(document|markup|net|commands|cli)/[a-z_]+\.h|platform/($core_re|tls_channel)\.h" core
check "$(git ls-files 'dialogs/*.h' 'dialogs/*.cpp')" '(document|markup|platform|net|commands|dialogs)/[a-z_]+\.h' any
exit $status
