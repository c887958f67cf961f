#!/usr/bin/env bash
# "Apply Settings at Startup" writes startup.mvn beside the program and the Run value with
# the silent-mode command line (program quoted, for its folder holds a blank; start-up file
# not quoted); "Remove Startup settings" deletes the value and keeps the file; the stored
# command line, run as Windows runs it at log-on, applies the file.
source "$(dirname "$0")/lib.sh"
begin "start-up settings"
cp "$MVN_PROGRAM" "$prog_dir/morvane.exe"  # the name the Run value always names

out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
saved=$(drive chip)

drive menu 3 >/dev/null
expect_eq "Apply Settings at Startup shows nothing" "$(drive box 3)" "no box"
command="\"$wdir\\\\morvane.exe\" $wdir\\\\startup.mvn"
expect_eq "Run value holds the command line" "$(drive reg)" \
  "type 1 size $((${#command} + 1)) terminated $command"
if [ -f "$prog_dir/startup.mvn" ]; then
  keys=$(grep -c '^[A-Za-z0-9]*=[0-9]*.$' "$prog_dir/startup.mvn" || true)
  expect_eq "start-up file holds all 38 keys" "$keys" 38
  expect_eq "start-up file sections" "$(grep '^\[' "$prog_dir/startup.mvn" | tr -d '\r' | tr '\n' ' ')" \
    "[DRAM] [LINK] "
else
  fail "no startup.mvn beside the program"
fi

drive menu 4 >/dev/null
expect_eq "Remove Startup settings shows nothing" "$(drive box 3)" "no box"
expect_eq "Run value removed" "$(drive reg)" "absent"
[ -f "$prog_dir/startup.mvn" ] && echo "ok: start-up file kept" || fail "start-up file removed"

out=$(drive exit)
expect_eq "program ends from File, Exit" "$out" "exit 0"

# The chip changes behind the program's back; the log-on run puts the saved values back.
changed=$(with_field "$(reg_of "$saved" F2x88)" 0 3 2)
drive poke F2x88 "$changed" >/dev/null
expect_eq "chip changed" "$(reg_of "$(drive chip)" F2x88)" "$changed"
out=$(drive run 90 --in 'C:\windows\system32' "$command")
expect_eq "stored command line runs silently with exit code 0" "$out" "exit 0"
expect_eq "stored command line applied the start-up file" "$(drive chip)" "$saved"
