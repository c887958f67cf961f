#!/bin/sh
# Checks that the given driver images execute no port instruction (in, out, ins, outs of any
# width, to an immediate port or through DX): configuration space is reached only through
# the system's serialised functions, never by raw cycles on 0xCF8/0xCFC.
# usage: check-no-ports.sh IMAGE...
set -eu
status=0
for file in "$@"; do
  case $(x86_64-w64-mingw32-objdump -f "$file" | sed -n 's/.*file format //p') in
    pei-x86-64) objdump=x86_64-w64-mingw32-objdump ;;
    *) objdump=i686-w64-mingw32-objdump ;;
  esac
  listing=$($objdump -d --no-show-raw-insn "$file")
  count=$(printf '%s\n' "$listing" | grep -c ':' || true)
  if [ "$count" -lt 20 ]; then
    echo "$file: no code disassembled" >&2
    status=1
    continue
  fi
  found=$(printf '%s\n' "$listing" | grep -E '^ *[0-9a-f]+:[[:space:]]+(rep[a-z]* +)?(in|out|ins|outs)[bwl]?( |$)' || true)
  if [ -n "$found" ]; then
    echo "$file executes port instructions:" >&2
    printf '%s\n' "$found" | sed 's/^/  /' >&2
    status=1
  else
    echo "$file: $count instructions, no port instruction"
  fi
done
exit $status
