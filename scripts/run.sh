#!/usr/bin/env bash
# Shows the program working on a simulated Athlon 64: installs what the build needs, builds
# morvane-sim.exe (the program with the simulated northbridge's driver) and opens its main
# window under Wine. Without a display it runs under a private X server, writes a screenshot
# of the window to build/morvane-sim-window.png and closes the program again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
export MVN_BUILD="$root/build"
source scripts/wine-env.sh

echo "== building (first time: a few minutes)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native --target mvn_pack
cmake -S . -B build/mingw -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DMVN_HOST_TOOLS="$root/build/native/tools" >/dev/null
cmake --build build/mingw --target morvane-sim mvn_app_drive

# The program installs its driver beside itself, as it would on a real machine.
program_dir="$root/build/run"
mkdir -p "$program_dir"
cp build/mingw/bin/morvane-sim.exe "$program_dir/"
program="Z:${program_dir//\//\\}\\morvane-sim.exe"
drive="$root/build/mingw/bin/mvn_app_drive.exe"
[ -f "$drive" ] || drive=$(find build/mingw -name mvn_app_drive.exe -type f | head -n 1)

cleanup() {
  [ -n "${MVN_XVFB_PID:-}" ] && kill "$MVN_XVFB_PID" 2>/dev/null
  mvn_emulate_i386_stop
}
trap cleanup EXIT
if ! mvn_runs_i386; then
  echo "== this machine does not run 32-bit x86 programs itself: Wine runs the program under"
  echo "   qemu-user emulation, which takes minutes at each step"
  if ! mvn_emulate_i386_start; then
    echo "cannot hand 32-bit programs to qemu-user here (needs root and binfmt_misc)" >&2
    exit 1
  fi
fi

echo "== preparing Wine (first time: a minute)"
export WINEPREFIX="$MVN_WINE64_PREFIX"
mvn_wine_prepare "$WINEPREFIX" win64

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "== starting morvane-sim.exe; close its window (or File, Exit) to end"
  wine "$program"
  exit 0
fi

echo "== no display: running under a private X server"
mvn_xvfb_start
# Through a file: the started program inherits the output and would hold a pipe open.
wait_seconds=120
[ -z "${MVN_I386_EMULATED:-}" ] || wait_seconds=1500
wine "$drive" start "$wait_seconds" "\"$program\"" >"$root/build/run.out" 2>/dev/null || true
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
