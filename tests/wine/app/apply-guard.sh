#!/usr/bin/env bash
# The guarded log-on apply end to end: a finished apply leaves no marker; the marker of an
# apply that did not finish stops the next silent start from writing anything and shows the
# box that says so, and is gone afterwards, so the start after that applies the file again;
# "Apply Settings at Startup" in the window clears a marker.
source "$(dirname "$0")/lib.sh"
begin "start-up apply guard"
cp "$MVN_PROGRAM" "$prog_dir/morvane.exe"  # the name the Run value always names

base=$(drive poweron)
write_mvn "$prog_dir/startup.mvn" "[DRAM]" "Tcl=2" "[LINK]" "ReqBufCnt=3"
marker="$prog_dir/startup.mvn.applying"
# The command line as the Run value holds it, doubled separators included.
command="\"$wdir\\\\morvane.exe\" $wdir\\\\startup.mvn"

out=$(drive run 90 "$command")
expect_eq "apply runs silently" "$out" "exit 0"
applied=$(drive chip)
expect_eq "the file was applied" "$(reg_of "$applied" F2x88) $(reg_of "$applied" F0x90)" \
  "$(with_field "$(reg_of "$base" F2x88)" 0 3 2) $(with_field "$(reg_of "$base" F0x90)" 0 4 3)"
[ -e "$marker" ] && fail "a finished apply left its marker" || echo "ok: no marker after a finished apply"

# The registers as they were before; an earlier apply never finished and left its marker.
drive poke F2x88 "$(reg_of "$base" F2x88)" >/dev/null
drive poke F0x90 "$(reg_of "$base" F0x90)" >/dev/null
before=$(drive chip)
printf '[Apply]\r\nFile=%s\\startup.mvn\r\nStarted=2026-03-17 07:45:09\r\n' "$wdir" >"$marker"
out=$(drive run 60 "$command")
expect_eq "marker found: the box, exit 0" "$out" \
  'box Morvane|The start-up settings were not applied: the last attempt to apply them did not finish.\nOpen Morvane to check them, then use "Apply Settings at Startup" again.\n
exit 0'
expect_eq "marker found: nothing written" "$(drive chip)" "$before"
[ -e "$marker" ] && fail "the marker stayed after its box" || echo "ok: marker removed after its box"

out=$(drive run 90 "$command")
expect_eq "the start after the box applies again" "$out" "exit 0"
expect_eq "the file was applied again" "$(drive chip)" "$applied"

# The user checks the settings and chooses them again in the window.
printf '[Apply]\r\n' >"$marker"
out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
drive menu 3 >/dev/null
expect_eq "Apply Settings at Startup shows nothing" "$(drive box 3)" "no box"
[ -e "$marker" ] && fail "Apply Settings at Startup kept the marker" ||
  echo "ok: Apply Settings at Startup removed the marker"
expect_eq "program ends from File, Exit" "$(drive exit)" "exit 0"
