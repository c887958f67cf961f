#!/bin/sh
# Shows that the check of the loader's rules catches the broken variants whose fault is in the
# file's structure, each for its own reason, and passes the good image. The variant whose
# control procedure answers wrongly breaks no loading rule: only the harness catches it, and
# the check must pass it (or it would be judging what it cannot see).
# usage: rules-reject-broken.sh MVN_LE_CHECK GOOD DATA_OBJECT NO_FIXUP ORDINAL_2 WRONG_ANSWER
set -u
check=$1
status=0
if ! "$check" "$2"; then
  echo "the good image $2 breaks the loader's rules" >&2
  status=1
fi
expect() {  # image expected-text
  output=$("$check" "$1")
  code=$?
  if [ "$code" -eq 0 ]; then
    echo "NOT CAUGHT $1: the check passed it" >&2
    status=1
  elif ! printf '%s\n' "$output" | grep -q "$2"; then
    echo "WRONG FAULT $1: expected \"$2\", the check said:" >&2
    printf '%s\n' "$output" >&2
    status=1
  else
    echo "caught $(basename "$1"): $(printf '%s\n' "$output" | grep "$2" | head -n 1)"
  fi
}
expect "$3" "object 1 has flags 0x2043, of no object type the loader accepts (it is not executable)"
expect "$4" "DDB_Control_Proc) has no fixup"
expect "$5" "first entry bundle is of type 0"
if ! "$check" "$6" >/dev/null; then
  echo "the wrong-answer variant $6 breaks a loading rule; only its answers are wrong" >&2
  status=1
fi
exit $status
