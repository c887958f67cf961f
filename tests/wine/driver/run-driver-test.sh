#!/bin/sh
# The driver's proof in one Wine prefix. First the real image alone: it loads and offers its
# device (Wine cannot let it touch ports). Then, on a fresh server (no driver loaded, so the
# simulated chip starts at power-on) without a service "cpuz", the packed probe installs and
# uses the simulated driver, runs again to reuse the running service, sends the requests the
# driver must refuse, and has the service removed under it. The server is kept alive between
# these runs, as a driver lives only as long as its server.
# usage: run-driver-test.sh 64|32 FALLBACK-PREFIX PROBE.EXE REAL32.SYS REAL64.SYS
set -eu
arch=$1 fallback=$2 probe=$3
here=$(dirname "$0")
folder=$(mktemp -d "${TMPDIR:-/tmp}/mvn-driver-$arch.XXXXXX")
cp "$probe" "$folder/probe.exe"
cp "$4" "$folder/real32.sys"
cp "$5" "$folder/real64.sys"

in_prefix() { sh "$here/wine-run.sh" "$arch" "$fallback" "$@"; }
fresh_server() {
  in_prefix wineserver -k 2>/dev/null || true
  in_prefix wineserver -w
  in_prefix wineserver -p
}
probe() {
  echo "== $1"
  in_prefix "$folder/probe.exe" --gtest_brief=1 "--gtest_filter=$1"
}
cleanup() {
  in_prefix wineserver -k 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT

fresh_server
probe Probe.Reset
probe Probe.RealImageLoads
fresh_server
probe Probe.Reset
probe Probe.FirstRun
probe Probe.SecondRun
probe Probe.ForeignAddressLatched
probe 'Requests.*'
probe Probe.Reinstall
