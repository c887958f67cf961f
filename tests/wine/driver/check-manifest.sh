#!/bin/sh
# Checks that the manifests the given programs carry name one processor architecture, the
# expected one (X86 or amd64), for the program and its common controls alike.
# usage: check-manifest.sh ARCH FILE...
set -eu
arch=$1
shift
status=0
for file in "$@"; do
  found=$(grep -ao 'processorArchitecture="[^"]*"' "$file" | sort | uniq -c | sed 's/^ *//')
  if [ "$found" = "2 processorArchitecture=\"$arch\"" ]; then
    echo "$file: manifest names $arch for the program and its common controls"
  else
    echo "$file: manifest should name $arch twice and nothing else, names: ${found:-nothing}" >&2
    status=1
  fi
done
exit $status
