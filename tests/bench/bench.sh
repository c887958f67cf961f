#!/usr/bin/env bash
# Benchmark (not a test): prints, each beside its goal, the size of morvane.exe without its
# driver images, a silent apply under Wine against a trivial Win32 program, the time from
# start to the shown main window against a minimal window program, and the driver traffic
# of one silent apply. Uses the builds of scripts/test.sh (build/native, build/mingw) unless
# MVN_BUILD names another folder holding native/ and mingw/.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
export MVN_BUILD="${MVN_BUILD:-$root/build}"
native="$MVN_BUILD/native"
mingw="$MVN_BUILD/mingw"
if [ ! -f "$native/build.ninja" ] || [ ! -f "$mingw/build.ninja" ]; then
  echo "configure the builds first (scripts/test.sh does)" >&2
  exit 1
fi
source scripts/wine-env.sh
source tests/bench/session.sh
runs=${MVN_BENCH_RUNS:-5}

cmake --build "$native" --target mvn_bench_counts >/dev/null
cmake --build "$mingw" --target morvane morvane-sim mvn_bench_trivial mvn_bench_window \
  mvn_bench_launch >/dev/null
exe() { find "$mingw/" -name "$1" -type f | head -n 1; }
# The programs from the build's own folder: the Wine tests leave copies elsewhere in it.
morvane="$mingw/bin/morvane.exe"
sim="$mingw/bin/morvane-sim.exe"
launch=$(exe mvn_bench_launch.exe)
trivial=$(exe mvn_bench_trivial.exe)
window=$(exe mvn_bench_window.exe)

bare=$(sh tests/bench/bare-size.sh "$morvane")

# A folder of its own for the timed program, with a register file beside it.
work="$MVN_BUILD/bench"
rm -rf "$work"
mkdir -p "$work"
cp "$sim" "$work/morvane-sim.exe"
printf '[DRAM]\r\nTcl=2\r\n[LINK]\r\nReqBufCnt=3\r\n' >"$work/apply.mvn"
wwork="Z:${work//\//\\}"
export WINEPREFIX="${WINEPREFIX:-$MVN_WINE64_PREFIX}"
mvn_wine_prepare "$WINEPREFIX" win64
mvn_xvfb_start
mvn_bench_hold "$launch" 900
# Through a file: under Wine a started program inherits the output and could hold a pipe.
timed() {
  wine "$launch" "$@" >"$work/timed.out" 2>/dev/null || true
  tr -d '\r' <"$work/timed.out"
}
# Milliseconds per run of "wine PROGRAM ARGS" from the shell (the session already running).
from_shell() {
  local start end
  start=$(date +%s%N)
  for _ in $(seq "$runs"); do wine "$@" </dev/null >/dev/null 2>&1 || true; done
  end=$(date +%s%N)
  echo $(((end - start) / runs / 1000000))
}

timed exit 1 "\"$wwork\\morvane-sim.exe\" apply.mvn" >/dev/null  # installs the driver
apply=$(timed exit "$runs" "\"$wwork\\morvane-sim.exe\" apply.mvn")
plain=$(timed exit "$runs" "\"Z:${trivial//\//\\}\"")
shown=$(timed window "$runs" "\"$wwork\\morvane-sim.exe\"")
minimal=$(timed window "$runs" "\"Z:${window//\//\\}\"")
shell_apply=$(from_shell "$work/morvane-sim.exe" "$wwork\\apply.mvn")
shell_plain=$(from_shell "$trivial")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
printf '%-48s %-28s %s\n' "measure" "result" "goal"
printf '%-48s %-28s %s\n' "morvane.exe without its driver images" \
  "$bare bytes ($((bare / 1024)) KiB)" "<= 131072 bytes (128 KiB)"
printf '%-48s %-28s %s\n' "silent apply under Wine vs trivial program" \
  "$apply ms vs $plain ms = $(ratio "$apply" "$plain")x" "<= 1.3x"
printf '%-48s %-28s %s\n' "  the same, each started by wine from the shell" \
  "$shell_apply ms vs $shell_plain ms = $(ratio "$shell_apply" "$shell_plain")x" "<= 1.3x"
printf '%-48s %-28s %s\n' "start to main window vs minimal window program" \
  "$shown ms vs $minimal ms = $(ratio "$shown" "$minimal")x" "<= 1.3x"
"$(find "$native/" -name mvn_bench_counts -type f | head -n 1)"
echo "goal: exactly 1 open and 4 requests per register access"
