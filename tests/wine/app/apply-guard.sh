#!/usr/bin/env bash
# The guarded log-on apply end to end: a finished apply leaves its marker with the read-back's
# record, which holds nothing back; the marker of an apply that did not finish stops every
# later silent start from writing anything, each with the box that says so, and stays;
# "Apply Settings at Startup" in the window clears it, and the next silent start applies.
source "$(dirname "$0")/lib.sh"
begin "start-up apply guard"
program_name=${MVN_PROGRAM_NAME:-morvane.exe}  # morvane64.exe for the 64-bit build
cp "$MVN_PROGRAM" "$prog_dir/$program_name"  # the name the Run value always names

base=$(drive poweron)
settings=("[DRAM]" "Tcl=2" "[LINK]" "ReqBufCnt=3")
write_mvn "$prog_dir/startup.mvn" "${settings[@]}"
marker="$prog_dir/startup.mvn.applying"
# The command line as the Run value holds it, doubled separators included.
command="\"$wdir\\\\$program_name\" $wdir\\\\startup.mvn"

out=$(drive run 90 "$command")
expect_eq "apply runs silently" "$out" "exit 0"
applied=$(drive chip)
expect_eq "the file was applied" "$(reg_of "$applied" F2x88) $(reg_of "$applied" F0x90)" \
  "$(with_field "$(reg_of "$base" F2x88)" 0 3 2) $(with_field "$(reg_of "$base" F0x90)" 0 4 3)"
# The read-back's record: its clock time and tick count, whole.
if [ -f "$marker" ] && grep -q $'^ReadBack=[0-9]\+\r$' "$marker" &&
  grep -q $'^Uptime=[0-9]\+\r$' "$marker" && [ "$(tail -n 1 "$marker")" = $'[End]\r' ]; then
  echo "ok: a finished apply leaves the read-back's record"
else
  fail "a finished apply left no whole read-back record"
  cat "$marker" 2>/dev/null
fi
# The same run of the system, moments later: the record holds nothing back.
out=$(drive run 90 "$command")
expect_eq "the next start in the same run applies again" "$out" "exit 0"
expect_eq "the file was applied again" "$(drive chip)" "$applied"

# The registers as they were before; an earlier apply never finished and left its marker.
drive poke F2x88 "$(reg_of "$base" F2x88)" >/dev/null
drive poke F0x90 "$(reg_of "$base" F0x90)" >/dev/null
before=$(drive chip)
printf '[Apply]\r\nFile=%s\\startup.mvn\r\nStarted=2026-03-17 07:45:09\r\n' "$wdir" >"$marker"
for start in 1 2; do
  out=$(drive run 60 "$command")
  expect_eq "unfinished apply, start $start: the box, exit 0" "$out" \
    'box Morvane|The start-up settings were not applied: the last attempt to apply them did not finish.\nOpen Morvane to check them, then use "Apply Settings at Startup" again.\n
exit 0'
  expect_eq "unfinished apply, start $start: nothing written" "$(drive chip)" "$before"
  [ -f "$marker" ] && echo "ok: the marker stays after box $start" ||
    fail "the marker went after box $start"
done

# The user checks the settings and chooses them again in the window.
out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
drive menu 3 >/dev/null
expect_eq "Apply Settings at Startup shows nothing" "$(drive box 3)" "no box"
[ -e "$marker" ] && fail "Apply Settings at Startup kept the marker" ||
  echo "ok: Apply Settings at Startup removed the marker"
expect_eq "program ends from File, Exit" "$(drive exit)" "exit 0"

# The window saved what it showed; the settings of the first apply, chosen again, apply.
write_mvn "$prog_dir/startup.mvn" "${settings[@]}"
out=$(drive run 90 "$command")
expect_eq "the start after Apply in the window applies" "$out" "exit 0"
expect_eq "the file was applied once more" "$(drive chip)" "$applied"
