#!/usr/bin/env bash
# Windows XP (the prefix set to report it): "Apply Settings at Startup" writes startup.mvn
# beside the program and the Run value with the silent-mode command line (program quoted, for
# its folder holds a blank; start-up file not quoted); "Remove Startup settings" deletes the
# value and keeps the file; the stored command line, run as Windows runs it at log-on, applies
# the file. Windows 7 (Wine's default): Apply registers the log-on task "Morvane" and deletes
# a Run value an earlier version left; Remove deletes the task.
source "$(dirname "$0")/lib.sh"
begin "start-up settings"
program_name=${MVN_PROGRAM_NAME:-morvane.exe}  # morvane64.exe for the 64-bit build
cp "$MVN_PROGRAM" "$prog_dir/$program_name"  # the name the registration always names

# The Windows version the prefix reports to programs started from now on ("" for Wine's own).
set_version() {
  if [ -n "$1" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f
  else
    wine reg delete 'HKCU\Software\Wine' /v Version /f
  fi >/dev/null 2>&1
}
# Wine's task scheduler keeps each task as a file of the 64-bit system folder.
task_file="$WINEPREFIX/drive_c/windows/system32/tasks/Morvane"
trap 'rc=$?; set_version ""; rm -f "$task_file"; (exit $rc); finish' EXIT

echo "-- Windows XP: the Run value"
set_version winxp

out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
saved=$(drive chip)

drive menu 3 >/dev/null
expect_eq "Apply Settings at Startup shows nothing" "$(drive box 3)" "no box"
command="\"$wdir\\\\$program_name\" $wdir\\\\startup.mvn"
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

echo "-- Windows 7: the log-on task"
set_version ""
rm -f "$task_file"
drive reg-set "C:\\old\\morvane.exe C:\\old\\startup.mvn" >/dev/null
out=$(drive start 90 "\"$wprog\"")
expect_eq "program shows its window" "${out%% *}" "window"
drive menu 3 >/dev/null
expect_eq "Apply Settings at Startup shows nothing" "$(drive box 3)" "no box"
[ -f "$task_file" ] && echo "ok: task \"Morvane\" registered" || fail "no task \"Morvane\""
expect_eq "Run value of the earlier version deleted" "$(drive reg)" "absent"
drive menu 3 >/dev/null
expect_eq "Apply again replaces the task silently" "$(drive box 3)" "no box"
[ -f "$task_file" ] && echo "ok: task still there" || fail "task gone after the second apply"
drive menu 4 >/dev/null
expect_eq "Remove Startup settings shows nothing" "$(drive box 3)" "no box"
[ -f "$task_file" ] && fail "task still there after Remove" || echo "ok: task deleted"
[ -f "$prog_dir/startup.mvn" ] && echo "ok: start-up file kept" || fail "start-up file removed"
out=$(drive exit)
expect_eq "program ends from File, Exit" "$out" "exit 0"
