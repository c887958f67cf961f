#!/usr/bin/env bash
# Benchmark (not a test): each of the two jobs against its floor, a program that makes only
# the calls that job cannot avoid (FloorApply.cpp, FloorWindow.cpp), timed under Wine from
# inside one running Wine session in interleaved rounds. Prints every round, the medians and
# the two ratios:
#   silent apply of a register file, start to exit   vs mvn_bench_floor_apply
#   window start, start to the shown main window     vs mvn_bench_floor_window
# Uses the x86_64 build of scripts/test.sh (build/mingw64) unless MVN_BUILD names another
# folder holding mingw64/ (MVN_BENCH_WIDTH=i686: mingw/, where 32-bit programs run).
# MVN_BENCH_ROUNDS sets the rounds (at least 5; 10 by default, an even number, so that each
# order of the programs is timed as often).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
export MVN_BUILD="${MVN_BUILD:-$root/build}"
rounds=${MVN_BENCH_ROUNDS:-10}
[ "$rounds" -ge 5 ] || rounds=5
if [ "${MVN_BENCH_WIDTH:-x86_64}" = i686 ]; then
  mingw="$MVN_BUILD/mingw" suffix= arch=win32 prefix_var=MVN_WINE32_PREFIX
else
  mingw="$MVN_BUILD/mingw64" suffix=64 arch=win64 prefix_var=MVN_WINE64_PREFIX
fi
if [ ! -f "$mingw/build.ninja" ]; then
  echo "configure the build first (scripts/test.sh does): $mingw" >&2
  exit 1
fi
source scripts/wine-env.sh
source tests/bench/session.sh

cmake --build "$mingw" --target "morvane$suffix-sim" mvn_bench_launch mvn_bench_floor_apply \
  mvn_bench_floor_window >/dev/null
exe() { find "$mingw/" -name "$1" -type f | head -n 1; }
launch=$(exe mvn_bench_launch.exe)

# A folder of its own for the timed programs, with a register file beside them. The path is
# given whole, unquoted, as the log-on start gives it: no blanks in it.
work="$MVN_BUILD/bench-floor"
rm -rf "$work"
mkdir -p "$work"
case "$work" in *" "*) echo "the build folder must have no blanks: $work" >&2; exit 1 ;; esac
cp "$mingw/bin/morvane$suffix-sim.exe" "$work/morvane-sim.exe"
cp "$(exe mvn_bench_floor_apply.exe)" "$work/floor-apply.exe"
cp "$(exe mvn_bench_floor_window.exe)" "$work/floor-window.exe"
printf '[DRAM]\r\nTcl=2\r\n[LINK]\r\nReqBufCnt=3\r\n' >"$work/apply.mvn"
wwork="Z:${work//\//\\}"
file="$wwork\\apply.mvn"

export WINEPREFIX="${WINEPREFIX:-${!prefix_var}}"
mvn_wine_prepare "$WINEPREFIX" "$arch"
mvn_xvfb_start
mvn_bench_hold "$launch" 1800

# One apply installs and starts the driver; then each floor must succeed on its own.
wine "$work/morvane-sim.exe" "$file" </dev/null >/dev/null 2>&1 || true
if ! wine "$work/floor-apply.exe" "$file" </dev/null >/dev/null 2>&1; then
  echo "the apply floor failed: is the driver running?" >&2
  exit 1
fi

wine "$launch" rounds "$rounds" \
  exit "\"$wwork\\morvane-sim.exe\" $file" \
  exit "\"$wwork\\floor-apply.exe\" $file" \
  window "\"$wwork\\morvane-sim.exe\"" \
  window "\"$wwork\\floor-window.exe\"" </dev/null >"$work/rounds.out" 2>&1 || true
tr -d '\r' <"$work/rounds.out" >"$work/rounds.txt"
if ! grep -q '^median:' "$work/rounds.txt"; then
  cat "$work/rounds.txt" >&2
  echo "the timing failed" >&2
  exit 1
fi

echo "milliseconds per round: apply, apply floor, window start, window floor"
grep '^round' "$work/rounds.txt"
read -r _ apply apply_floor window window_floor < <(grep '^median:' "$work/rounds.txt")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
printf '%-44s %-30s %s\n' "job (median of $rounds interleaved rounds)" "program vs floor" "goal"
printf '%-44s %-30s %s\n' "silent apply, start to exit" \
  "$apply ms vs $apply_floor ms = $(ratio "$apply" "$apply_floor")x" "<= 1.1x"
printf '%-44s %-30s %s\n' "window start, start to the shown window" \
  "$window ms vs $window_floor ms = $(ratio "$window" "$window_floor")x" "<= 1.1x"
echo "machine: $(nproc) cores, $(wine --version 2>/dev/null), morvane$suffix-sim.exe"
