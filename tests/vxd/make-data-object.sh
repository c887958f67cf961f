#!/bin/sh
# Makes the broken variant of the earlier layout's fault: the good image with its object's
# flags set to 00002043h (readable, writable, preloaded, 32-bit, not executable), those of the
# data object that once held the descriptor block. The LE writer refuses to write such an
# object, so the variant is patched, not written.
# usage: make-data-object.sh GOOD OUTPUT
set -eu
good=$1 out=$2
dword() {  # file offset -> the little-endian dword there, in decimal
  od -An -tu4 -j "$1" -N 4 "$good" | tr -d ' '
}
header=$(dword 60)
table=$((header + $(dword $((header + 64)))))
cp "$good" "$out.tmp"
printf '\103\040\000\000' | dd of="$out.tmp" bs=1 seek=$((table + 8)) conv=notrunc 2>/dev/null
mv "$out.tmp" "$out"
