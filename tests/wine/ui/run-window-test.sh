#!/bin/sh
# The windows for real, on a screen of their own: a private Xvfb of the given size, a fresh Wine
# session of the 64-bit test prefix at the given resolution, and no driver service "cpuz" left
# from before (so the simulated chip starts at power-on). The packed window test installs the
# simulated driver, checks that both windows stand whole inside the screen's work area with
# every control inside them, drives them (at 96 dpi; at other resolutions it only checks and
# photographs them) and leaves its screenshots (PNG) and saved files in OUTPUT-FOLDER. Each
# screenshot is then read back and must hold a picture, not one colour.
# usage: run-window-test.sh SOURCE-TREE FALLBACK-PREFIX PROGRAM OUTPUT-FOLDER [DPI [SCREEN]]
#        (DPI 96 and SCREEN 1024x768 unless given; the X display is the first free one from
#        :71, or from $MVN_FIRST_DISPLAY)
set -eu
source_tree=$1 fallback=$2 program=$3 out=$4 dpi=${5:-96} screen=${6:-1024x768}
in_prefix() { sh "$source_tree/tests/wine/driver/wine-run.sh" 64 "$fallback" "$@"; }
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | sed 's|/|\\|g')"; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# An X server of the screen's size on the first free display. Another test may take the same
# number at the same moment: then ours ends at once, and the next number is tried.
xvfb_pid=""
start_screen() {
  n=${MVN_FIRST_DISPLAY:-71}
  while [ "$n" -lt $((${MVN_FIRST_DISPLAY:-71} + 50)) ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      for _ in $(seq 100); do
        kill -0 "$xvfb_pid" 2>/dev/null || break
        if DISPLAY=":$n" xdpyinfo 2>/dev/null | grep -q "dimensions: *${screen} pixels"; then
          export DISPLAY=":$n"
          return 0
        fi
        sleep 0.1
      done
      kill "$xvfb_pid" 2>/dev/null || true
      xvfb_pid=""
    fi
    n=$((n + 1))
  done
  echo "FAIL: no X server of ${screen} could be started"
  exit 1
}

remove_service() {
  in_prefix sc stop cpuz >/dev/null 2>&1 || true
  in_prefix sc delete cpuz >/dev/null 2>&1 || true
}
# Wine takes the screen's resolution from the user's desktop settings (and from its own font
# settings and the machine's, in other versions) when its session starts: the session ends
# after the change, so that the next program starts one at that resolution.
set_dpi() {
  for key in 'HKCU\Control Panel\Desktop' 'HKCU\Software\Wine\Fonts' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    in_prefix reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true
  done
  in_prefix wineserver -k 2>/dev/null || true
  in_prefix wineserver -w
}
cleanup() {
  status=$?
  set +e
  remove_service
  if [ "$dpi" != 96 ]; then set_dpi 96; fi
  in_prefix wineserver -k 2>/dev/null || true
  in_prefix wineserver -w 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  exit "$status"
}
trap cleanup EXIT

rm -rf "$out"
mkdir -p "$out/program"
cp "$program" "$out/program/window-test.exe"
start_screen
echo "screen ${screen} on $DISPLAY at ${dpi} dpi"
# The session is started afresh on this screen.
in_prefix wineserver -k 2>/dev/null || true
in_prefix wineserver -w
remove_service
# Without a window manager (Xvfb) nothing would draw the title bars: Wine draws them itself for
# this program, so that the screenshots show the whole windows.
in_prefix reg add 'HKCU\Software\Wine\AppDefaults\window-test.exe\X11 Driver' /v Decorated \
  /t REG_SZ /d N /f >/dev/null 2>&1 || true
set_dpi "$dpi"
layout=""
if [ "$dpi" != 96 ]; then layout=--layout; fi
result=0
in_prefix "$out/program/window-test.exe" "$(winpath "$out")" --dpi "$dpi" --screen "$screen" \
  $layout || result=$?

# The screenshots as any picture viewer reads them: of some size, and not of one colour.
shots=0
for png in "$out"/*.png; do
  [ -e "$png" ] || continue
  shots=$((shots + 1))
  if ! stats=$(identify -format '%w %h %[fx:standard_deviation]' "$png" 2>&1); then
    echo "FAIL: $png cannot be read: $stats"
    result=1
  elif awk -v s="$stats" 'BEGIN { split(s, f, " "); exit !(f[1] > 0 && f[2] > 0 && f[3] > 0.05) }'; then
    echo "ok: $png reads back as a picture (${stats% *} pixels, deviation ${stats##* })"
  else
    echo "FAIL: $png holds no picture: $stats"
    result=1
  fi
done
if [ "$shots" -eq 0 ]; then
  echo "FAIL: no screenshot in $out"
  result=1
fi
exit "$result"
