#!/bin/sh
# Shows that the harness catches a broken VxD: each deliberately broken variant must fail with
# the fault it was broken with, and the good image must pass.
# usage: rejects-broken.sh HARNESS GOOD DATA_OBJECT NO_FIXUP ORDINAL_2 WRONG_ANSWER
set -u
here=$(cd "$(dirname "$0")" && pwd)
harness=$1
status=0
if ! sh "$here/run-i386.sh" "$harness" "$2" >/dev/null; then
  echo "the good image $2 fails the harness" >&2
  status=1
fi
check() {  # image expected-text
  output=$(sh "$here/run-i386.sh" "$harness" "$1")
  code=$?
  if [ "$code" -eq 0 ]; then
    echo "NOT CAUGHT $1: the harness passed it" >&2
    status=1
  elif ! printf '%s\n' "$output" | grep -q "$2"; then
    echo "WRONG FAULT $1: expected \"$2\", the harness said:" >&2
    printf '%s\n' "$output" >&2
    status=1
  else
    echo "caught $(basename "$1"): $(printf '%s\n' "$output" | grep "FAIL" | head -n 1)"
  fi
}
check "$3" "whose flags 0x2043 are not executable"
check "$4" "inside no code object"
check "$5" "no entry ordinal 1"
check "$6" "^FAIL W32_DeviceIoControl code 1 "
exit $status
