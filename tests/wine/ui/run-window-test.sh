#!/bin/sh
# The windows for real: on a fresh Wine server of the 64-bit test prefix and with no driver
# service "cpuz" left from before (so the simulated chip starts at power-on), runs the packed
# window test, which installs the simulated driver, drives the windows and leaves its
# screenshots (PNG) and saved files in OUTPUT-FOLDER. Uses $DISPLAY, or a private Xvfb.
# With DPI (other than 96), the screen is set to that many dots per inch (Wine's LogPixels)
# for the run, and the test checks only the layout and takes its screenshots.
# usage: run-window-test.sh SOURCE-TREE FALLBACK-PREFIX PROGRAM OUTPUT-FOLDER [DPI]
set -eu
source_tree=$1 fallback=$2 program=$3 out=$4 dpi=${5:-96}
in_prefix() { sh "$source_tree/tests/wine/driver/wine-run.sh" 64 "$fallback" "$@"; }
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | sed 's|/|\\|g')"; }

# The shared environment, for its X server; the test prefix stays the caller's.
prefix64=${MVN_WINE64_PREFIX:-}
. "$source_tree/scripts/wine-env.sh"
if [ -n "$prefix64" ]; then export MVN_WINE64_PREFIX="$prefix64"; else unset MVN_WINE64_PREFIX; fi
mvn_xvfb_start
remove_service() {
  in_prefix sc stop cpuz >/dev/null 2>&1 || true
  in_prefix sc delete cpuz >/dev/null 2>&1 || true
}
# Wine takes the screen's resolution from the user's desktop settings (and from its own font
# settings and the current configuration's, in other versions) when its session starts: the
# session ends after the change, so that the next program starts one at that resolution.
set_dpi() {
  for key in 'HKCU\Control Panel\Desktop' 'HKCU\Software\Wine\Fonts' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    in_prefix reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true
  done
  in_prefix wineserver -k 2>/dev/null || true
  in_prefix wineserver -w
}
cleanup() {
  remove_service
  if [ "$dpi" != 96 ]; then set_dpi 96; fi
  in_prefix wineserver -k 2>/dev/null || true
  if [ -n "${MVN_XVFB_PID:-}" ]; then kill "$MVN_XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT

rm -rf "$out"
mkdir -p "$out/program"
cp "$program" "$out/program/window-test.exe"
in_prefix wineserver -k 2>/dev/null || true
in_prefix wineserver -w
remove_service
# Without a window manager (Xvfb) nothing would draw the title bars: Wine draws them itself for
# this program, so that the screenshots show the whole windows.
in_prefix reg add 'HKCU\Software\Wine\AppDefaults\window-test.exe\X11 Driver' /v Decorated \
  /t REG_SZ /d N /f >/dev/null 2>&1 || true
if [ "$dpi" != 96 ]; then
  set_dpi "$dpi"
  in_prefix "$out/program/window-test.exe" "$(winpath "$out")" --layout "$dpi"
else
  set_dpi 96
  in_prefix "$out/program/window-test.exe" "$(winpath "$out")"
fi
