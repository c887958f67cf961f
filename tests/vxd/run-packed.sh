#!/bin/sh
# Decodes the VxD image out of a packed program through its driver image table and runs a
# check on it: the harness (through run-i386.sh) or the loader's rules (mvn_le_check).
# usage: run-packed.sh MVN_PACK PROGRAM WORKDIR COMMAND [ARGUMENT...]   (the image goes last)
set -eu
pack=$1 program=$2 work=$3
shift 3
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
exec "$@" "$image"
