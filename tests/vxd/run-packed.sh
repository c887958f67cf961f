#!/bin/sh
# Decodes the VxD image out of a packed program through its driver image table and runs the
# harness on it.
# usage: run-packed.sh MVN_PACK HARNESS PROGRAM WORKDIR
set -eu
pack=$1 harness=$2 program=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
image="$work/$(basename "$program").cpuz.vxd"
rm -f "$image"
"$pack" extract "$program" vxd "$image"
size=$(stat -c %s "$image")
if [ "$size" -eq 0 ]; then
  echo "$program carries no VxD image" >&2
  exit 1
fi
echo "$program: VxD image of $size bytes"
exec sh "$here/run-i386.sh" "$harness" "$image"
