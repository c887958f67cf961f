#!/usr/bin/env bash
# The windowed program starts, stands whole inside the screen's work area, shows the simulated
# chip's values in its 38 lists, and ends from the File menu's "Exit". A screenshot of the
# window is left beside the work folder; it must hold a picture, not one colour.
source "$(dirname "$0")/lib.sh"
begin "main window"

out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
expect_eq "every list shows the chip's value" "$(drive check-fields)" \
  "38 of 38 fields show the chip's values"
frame=$(drive frame)
expect_eq "the window stands inside the work area" "${frame#* * * * }" "inside the work area"
sleep 1
read -r left top width height _ <<<"$frame"
rm -f "$MVN_WORK.png"
import -window root -crop "${width}x${height}+${left}+${top}" +repage "$MVN_WORK.png" &&
  echo "screenshot: $MVN_WORK.png"
deviation=$(identify -format '%[fx:standard_deviation]' "$MVN_WORK.png" 2>/dev/null || echo 0)
if awk -v d="$deviation" 'BEGIN { exit !(d > 0.05) }'; then
  echo "ok: the screenshot shows the window (deviation $deviation)"
else
  fail "the screenshot shows no window (deviation $deviation)"
fi
out=$(drive exit)
expect_eq "program ends from File, Exit" "$out" "exit 0"
