#!/bin/sh
# Checks the window library functions a program finds at their first call instead of importing
# them (os/win32/WindowImports.h): each of the given width is in the vetted allow list, as an
# import would have to be, each name is in the program, and the program imports nothing from a
# window library (so a silent apply loads none).
# usage: check-window-imports.sh LIST WIDTH ALLOWLIST PROGRAM...
set -eu
list=$1 width=$2 allow=$3
shift 3
status=0
functions=$(sed -n "s/^MVN_WINDOW_IMPORT\(\|$width\)(\([UG]\), *\([A-Za-z0-9_]*\),.*/\2 \3/p" "$list" |
  sed 's/^U /user32.dll /; s/^G /gdi32.dll /')
if [ -z "$functions" ]; then
  echo "$list: no entries read for width $width" >&2
  exit 1
fi
unknown=$(printf '%s\n' "$functions" | grep -vxiF -f "$allow" || true)
if [ -n "$unknown" ]; then
  echo "$list names what $allow does not vet:" >&2
  printf '%s\n' "$unknown" | sed 's/^/  /' >&2
  status=1
fi
for program in "$@"; do
  static=$(sh "$(dirname "$0")/pe-imports.sh" "$program" |
    grep -E '^(user32|gdi32|comctl32|comdlg32)\.dll ' || true)
  if [ -n "$static" ]; then
    echo "$program imports from a window library:" >&2
    printf '%s\n' "$static" | sed 's/^/  /' >&2
    status=1
  fi
  missing=$(printf '%s\n' "$functions" | while read -r dll name; do
    letter=U
    [ "$dll" = gdi32.dll ] && letter=G
    grep -qaF "$letter$name" "$program" || echo "$dll $name"
  done)
  if [ -n "$missing" ]; then
    echo "$program lacks the names of:" >&2
    printf '%s\n' "$missing" | sed 's/^/  /' >&2
    status=1
  fi
  [ $status -ne 0 ] ||
    echo "$program: $(printf '%s\n' "$functions" | wc -l) window functions found at first call, all vetted; no window library imported"
done
exit $status
