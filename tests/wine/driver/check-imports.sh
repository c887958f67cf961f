#!/bin/sh
# Checks that the given PE files import nothing but the functions of the allow list: names
# vetted as present in Windows XP (an import the system lacks stops the program or driver
# from loading at all, and Wine, which has them all, would never show it).
# usage: check-imports.sh ALLOWLIST FILE...
set -eu
allow=$1
shift
status=0
for file in "$@"; do
  imports=$(sh "$(dirname "$0")/pe-imports.sh" "$file")
  if [ -z "$imports" ]; then
    echo "$file: no imports found" >&2
    status=1
    continue
  fi
  unknown=$(printf '%s\n' "$imports" | grep -vxiF -f "$allow" || true)
  if [ -n "$unknown" ]; then
    echo "$file imports what is not vetted for Windows XP:" >&2
    printf '%s\n' "$unknown" | sed 's/^/  /' >&2
    status=1
  else
    echo "$file: $(printf '%s\n' "$imports" | wc -l) imports, all present in Windows XP"
  fi
done
exit $status
