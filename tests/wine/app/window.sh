#!/usr/bin/env bash
# The windowed program starts, shows the simulated chip's values in its 38 lists, and ends
# from the File menu's "Exit". A screenshot of the window is left beside the work folder.
source "$(dirname "$0")/lib.sh"
begin "main window"

out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
expect_eq "every list shows the chip's value" "$(drive check-fields)" \
  "38 of 38 fields show the chip's values"
sleep 1
import -window root "$MVN_WORK.png" && echo "screenshot: $MVN_WORK.png"
out=$(drive exit)
expect_eq "program ends from File, Exit" "$out" "exit 0"
