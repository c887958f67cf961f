#!/usr/bin/env bash
# The guarded log-on apply end to end. A driver image of other contents planted under the
# image's name is replaced and the apply works. The apply ends at once; its watch, apart from
# it, removes the marker 5 minutes later, and meanwhile the window can be opened and used and
# a second log-on apply writes nothing. A computer switched off right after the read-back (the
# session killed, its watch with it, and started anew as the next boot) holds the set back
# with its box. An apply that did not finish stops every later silent start from writing
# anything, each with the box that says so; "Apply Settings at Startup" in the window clears
# it, and the next silent start applies.
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
restarted_box='box Morvane|The start-up settings were not applied: the computer restarted within 5 minutes of the last time they were applied.\nOpen Morvane to check them, then use "Apply Settings at Startup" again.\n
exit 0'

# Another user's driver waits under the image's name (the 64-bit image, which both widths'
# programs take on this 64-bit system).
printf 'MZ not our driver' >"$prog_dir/cpuz64.sys"
out=$(drive run 90 "$command")
applied_at=$(date +%s)
expect_eq "apply runs silently and ends" "$out" "exit 0"
applied=$(drive chip)
expect_eq "the file was applied with our own driver" \
  "$(reg_of "$applied" F2x88) $(reg_of "$applied" F0x90)" \
  "$(with_field "$(reg_of "$base" F2x88)" 0 3 2) $(with_field "$(reg_of "$base" F0x90)" 0 4 3)"
planted=$(grep -c 'not our driver' "$prog_dir/cpuz64.sys" 2>/dev/null || true)
expect_eq "the planted image was replaced, not used" "${planted:-0}" 0
# The read-back's record, whole, naming its apply.
if [ -f "$marker" ] && grep -q $'^Token=[0-9A-F]\+\r$' "$marker" &&
  [ "$(tail -n 1 "$marker")" = $'[End]\r' ]; then
  echo "ok: a finished apply leaves the read-back's record for its watch"
else
  fail "a finished apply left no whole read-back record"
  cat "$marker" 2>/dev/null
fi

# Meanwhile: the window opens and shows the chip, and a second log-on apply (another user's,
# say) writes nothing while the first one's watch runs.
out=$(drive start 90 "\"$wprog\"")
expect_eq "the window opens while the watch runs" "${out%% *}" "window"
expect_eq "the window shows the chip" "$(drive check-fields | tail -n 1)" \
  "38 of 38 fields show the chip's values"
expect_eq "program ends from File, Exit" "$(drive exit)" "exit 0"
drive poke F2x88 "$(reg_of "$base" F2x88)" >/dev/null
out=$(drive run 90 "$command")
expect_eq "a second apply while the first is watched: no message" "$out" "exit 0"
expect_eq "a second apply while the first is watched: nothing written" \
  "$(reg_of "$(drive chip)" F2x88)" "$(reg_of "$base" F2x88)"
[ -f "$marker" ] && echo "ok: the marker waits for its 5 minutes" || fail "the marker went early"

# The confirmation comes after 5 minutes of running, not before. The wait is the x86_64
# build's, which runs on every build machine: both widths share the watch's code, and where
# the i686 programs run too, a second wait would add 5 minutes for nothing new.
if [ "${MVN_WIDTH:-64}" = 64 ]; then
  waited=0
  while [ -f "$marker" ] && [ "$waited" -lt 420 ]; do
    sleep 5
    waited=$(($(date +%s) - applied_at))
  done
  if [ -f "$marker" ]; then
    fail "no confirmation 7 minutes after the apply"
  elif [ "$waited" -lt 295 ]; then
    fail "confirmed after $waited s, before 5 minutes of running"
  else
    echo "ok: the watch confirmed the apply after $waited s"
  fi
  out=$(drive run 90 "$command")
  expect_eq "after the confirmation the next start applies" "$out" "exit 0"
  expect_eq "after the confirmation the file was applied" "$(drive chip)" "$applied"
fi

# Switched off right after the read-back: the watch dies with the session, no evidence is
# left, and the next boot's log-on apply holds the set back and writes nothing.
out=$(drive run 90 "$command")
expect_eq "apply before the power cut" "$out" "exit 0"
power_cycle
out=$(drive run 60 "$command")
expect_eq "after the power cut: the box, exit 0" "$out" "$restarted_box"
expect_eq "after the power cut: nothing written" "$(drive chip)" "$base"
out=$(drive run 60 "$command")
expect_eq "after the power cut, the next start: the box again" "$out" "$restarted_box"

# An earlier apply never finished and left its marker.
printf '[Apply]\r\nFile=%s\\startup.mvn\r\nStarted=2026-03-17 07:45:09\r\n' "$wdir" >"$marker"
for start in 1 2; do
  out=$(drive run 60 "$command")
  expect_eq "unfinished apply, start $start: the box, exit 0" "$out" \
    'box Morvane|The start-up settings were not applied: the last attempt to apply them did not finish.\nOpen Morvane to check them, then use "Apply Settings at Startup" again.\n
exit 0'
  expect_eq "unfinished apply, start $start: nothing written" "$(drive chip)" "$base"
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
