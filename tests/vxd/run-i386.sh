#!/bin/sh
# Runs an i386 Linux program: natively where this machine runs 32-bit x86 code, under
# qemu-i386-static (Debian's qemu-user-static) where it does not.
# usage: run-i386.sh PROGRAM [ARGUMENT...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env.sh"
if mvn_runs_i386; then
  exec "$@"
fi
if ! command -v qemu-i386-static >/dev/null 2>&1; then
  echo "run-i386.sh: this machine runs no 32-bit x86 code and qemu-i386-static is missing" \
       "(package qemu-user-static)" >&2
  exit 1
fi
exec qemu-i386-static "$@"
