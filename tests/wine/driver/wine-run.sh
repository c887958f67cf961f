#!/bin/sh
# Runs a Windows program under Wine in one of the two test prefixes: "64" (64-bit Windows, the
# program a WOW64 process) from $MVN_WINE64_PREFIX, or "32" (32-bit Windows) from
# $MVN_WINE32_PREFIX, each falling back to the given folder. Prepares the prefix on first use
# (the service manager answers 1055 until wineboot has run).
# PROGRAM "wineserver" runs the prefix's wineserver with ARGS instead.
# usage: wine-run.sh 64|32 FALLBACK-PREFIX PROGRAM [ARGS...]
set -eu
arch=$1 fallback=$2
shift 2
case $arch in
  64) prefix=${MVN_WINE64_PREFIX:-$fallback} winearch=win64 ;;
  32) prefix=${MVN_WINE32_PREFIX:-$fallback} winearch=win32 ;;
  *) echo "wine-run.sh: the prefix is 64 or 32, not $arch" >&2; exit 2 ;;
esac
export WINEPREFIX="$prefix" MVN_WINE_ARCH="$arch"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  WINEARCH=$winearch wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
if [ "$1" = wineserver ]; then
  exec "$@"
fi
exec wine "$@"
