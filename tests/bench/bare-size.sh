#!/bin/sh
# Prints the size in bytes of a packed program without its driver images: the images stand
# after the last section, and the table behind its marker says how large each one is.
# usage: bare-size.sh PROGRAM [LIMIT]   with LIMIT, fails when the size is above it
set -eu
file=$1
size=$(stat -c %s "$file")
marker=$(grep -obUaP 'MVN-DRV-IMAGES!\x00' "$file" | head -n 1 | cut -d: -f1)
if [ -z "$marker" ]; then
  echo "$file: no driver image table" >&2
  exit 1
fi
images=0
for i in 0 1 2; do
  images=$((images + $(od -An -tu4 -j $((marker + 16 + 8 * i + 4)) -N4 "$file")))
done
bare=$((size - images))
echo "$bare"
if [ $# -ge 2 ] && [ "$bare" -gt "$2" ]; then
  echo "$file: $bare bytes without its images, above the limit of $2" >&2
  exit 1
fi
