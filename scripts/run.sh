#!/usr/bin/env bash
# Shows the program working on a simulated Athlon 64: installs what the build needs, builds
# the program with the simulated northbridge's driver (morvane-sim.exe, or morvane64-sim.exe
# where this machine runs no 32-bit x86 programs) and opens its main window under Wine. Without a display it runs under a private X server, writes a screenshot
# of the window to build/morvane-sim-window.png and closes the program again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
export MVN_BUILD="$root/build"
source scripts/wine-env.sh

# The width this machine runs: the i686 program where 32-bit x86 programs run (and the 32-bit
# Wine is there), else the x86_64 one under 64-bit Wine.
if mvn_wine_runs_i686; then
  width=i686 dir=build/mingw program_name=morvane-sim.exe
else
  width=x86_64 dir=build/mingw64 program_name=morvane64-sim.exe
fi

echo "== building the $width program (first time: a few minutes)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native --target mvn_host_tools
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$width.cmake" \
  -DMVN_HOST_TOOLS="$root/build/native/tools" >/dev/null
cmake --build "$dir" --target "${program_name%.exe}" mvn_app_drive

# The program installs its driver beside itself, as it would on a real machine.
program_dir="$root/build/run"
mkdir -p "$program_dir"
cp "$dir/bin/$program_name" "$program_dir/"
program="Z:${program_dir//\//\\}\\$program_name"
drive="$root/$dir/bin/mvn_app_drive.exe"

cleanup() {
  [ -n "${MVN_XVFB_PID:-}" ] && kill "$MVN_XVFB_PID" 2>/dev/null
  true
}
trap cleanup EXIT

echo "== preparing Wine (first time: half a minute)"
export WINEPREFIX="$MVN_WINE64_PREFIX"
mvn_wine_prepare "$WINEPREFIX" win64

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "== starting $program_name; close its window (or File, Exit) to end"
  wine "$program"
  exit 0
fi

echo "== no display: running under a private X server"
mvn_xvfb_start
# Through a file: the started program inherits the output and would hold a pipe open.
wine "$drive" start 120 "\"$program\"" >"$root/build/run.out" 2>/dev/null || true
started=$(tr -d '\r' <"$root/build/run.out")
case $started in
  window*) ;;
  *)
    echo "the main window did not come up: $started" >&2
    exit 1
    ;;
esac
sleep 1
shot="$root/build/morvane-sim-window.png"
import -window root "$shot"
echo "== the main window, as shown:"
wine "$drive" fields >"$root/build/run.out" 2>/dev/null || true
tr -d '\r' <"$root/build/run.out" | sed 's/^/   /'
wine "$drive" exit >/dev/null 2>&1 || true
echo "== screenshot: $shot"
