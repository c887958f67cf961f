#!/usr/bin/env bash
# Silent apply end to end: a register file handed on the command line changes exactly the
# fields it names in the simulated chip, also when named relative to the program's folder
# from another folder; an out-of-range value leaves its field alone; a missing file, a quoted
# path or an over-long path shows the error box and writes nothing. Exit code 0 throughout. A
# silent apply loads no window library unless it shows a box.
source "$(dirname "$0")/lib.sh"
begin "silent apply"

base=$(drive poweron)
write_mvn "$prog_dir/apply.mvn" "[DRAM]" "Tcl=2" "Trc=0x0F" "Twr=2" "MaxAsyncLatency=6" \
  "[LINK]" "LinkFreq=\$5" "ReqBufCnt=3"

out=$(drive run 90 --in "$(winpath "$work/elsewhere")" "\"$wprog\" apply.mvn")
expect_eq "relative file applied from another folder, no message, exit 0" "$out" "exit 0"

chip=$(drive chip)
f288=$(reg_of "$base" F2x88)
f288=$(with_field "$f288" 0 3 2)  # Tcl
f288=$(with_field "$f288" 4 4 15) # Trc; Twr (bit 28) keeps its 1: the 2 does not fit
expected="F2x88 $f288
F2x8C $(reg_of "$base" F2x8C)
F2x90 $(reg_of "$base" F2x90)
F2x94 $(with_field "$(reg_of "$base" F2x94)" 0 4 6)
F0x84 $(reg_of "$base" F0x84)
F0x88 $(with_field "$(reg_of "$base" F0x88)" 8 4 5)
F0x90 $(with_field "$(reg_of "$base" F0x90)" 0 4 3)"
expect_eq "exactly the named fields changed" "$(sort <<<"$chip")" "$(sort <<<"$expected")"

out=$(drive run 60 "\"$wprog\" $wdir\\missing.mvn")
expect_eq "missing file: error box, exit 0" "$out" \
  "box Morvane|Unable to load register file \"$wdir\\missing.mvn\"
exit 0"
expect_eq "missing file wrote nothing" "$(drive chip)" "$chip"

out=$(drive run 60 "\"$wprog\" \"$wdir\\apply.mvn\"")
expect_eq "quoted path: error box with the quotes kept" "$out" \
  "box Morvane|Unable to load register file \"\"$wdir\\apply.mvn\"\"
exit 0"
expect_eq "quoted path wrote nothing" "$(drive chip)" "$chip"

long="$wdir\\$(printf 'x%.0s' $(seq 300)).mvn"
out=$(drive run 60 "\"$wprog\" $long")
expect_eq "300-character path: error box" "$out" \
  "box Morvane|Unable to load register file \"$long\"
exit 0"
expect_eq "300-character path wrote nothing" "$(drive chip)" "$chip"

# A register file saved as UTF-16 ("Unicode" in Notepad), with sections of the user's own
# around the program's: applied like any other.
{
  printf '\xff\xfe'
  printf '; r\xc3\xa9glages \xe2\x98\x83\r\n[Mine]\r\nname=\xe6\xbc\xa2\xe5\xad\x97\r\n[DRAM]\r\nTcl=3\r\n[Theirs]\r\nTcl=1\r\n[LINK]\r\nLinkFreq=$6\r\n' |
    iconv -f UTF-8 -t UTF-16LE
} >"$prog_dir/unicode.mvn"
out=$(drive run 90 "\"$wprog\" $wdir\\unicode.mvn")
expect_eq "UTF-16 file applied, no message, exit 0" "$out" "exit 0"
expected_u=$(with_field "$(reg_of "$chip" F2x88)" 0 3 3)
expect_eq "UTF-16 file: Tcl from its DRAM section" "$(reg_of "$(drive chip)" F2x88)" "$expected_u"
expect_eq "UTF-16 file: LinkFreq from its LINK section" "$(reg_of "$(drive chip)" F0x88)" \
  "$(with_field "$(reg_of "$chip" F0x88)" 8 4 6)"

# What a silent apply loads, from Wine's loader log: no window library (user32, gdi32, and what
# they bring: win32u and on Wine the display connection) unless it shows a box, which then
# loads them. The log of a Wine program's standard error also carries what other processes of
# the same Wine server load (its system processes, and on a machine with 32-bit Wine their
# 32-bit twins), so every line is tagged with its process (+pid) and only the program's own
# process counts: the one that loaded the program file. To prove the filter, a window program
# of our own (the drive program, which imports user32 and gdi32) writes its loads into the
# same log while the measured program runs. The program runs straight under Wine from a folder
# without blanks, so that Wine passes the path unquoted.
plain="$work/plain"
mkdir -p "$plain"
cp "$prog_dir/morvane-sim.exe" "$plain/"
write_mvn "$plain/apply.mvn" "[DRAM]" "Tcl=1"
before=$(drive chip)
# The DLLs (lower case, one a line) loaded by the first process of the log that loaded
# morvane-sim.exe; nothing when none did.
own_loads() {  # log
  local pid
  pid=$(grep -m 1 -i 'Loaded L"[^"]*\\morvane-sim\.exe"' "$1" | cut -d: -f1)
  [ -n "$pid" ] || return 0
  grep "^$pid:" "$1" | grep -o 'Loaded L"[^"]*"' | sed 's/.*\\//; s/"$//' | tr 'A-Z' 'a-z'
}
# A window program beside the measured one, under the same server, logging into the same file.
neighbour() {  # log
  WINEDEBUG=+pid,+loaddll wine "$MVN_DRIVE" frame >/dev/null 2>>"$1" &
  neighbour_pid=$!
}
window_libraries='^(user32|gdi32|win32u|comctl32|comdlg32)\.dll$'
neighbour "$plain/quiet.log"
WINEDEBUG=+pid,+loaddll wine "$plain/morvane-sim.exe" "$(winpath "$plain")\\apply.mvn" \
  >/dev/null 2>>"$plain/quiet.log"
wait "$neighbour_pid"
expect_eq "silent apply without a window library: applied" "$(reg_of "$(drive chip)" F2x88)" \
  "$(with_field "$(reg_of "$before" F2x88)" 0 3 1)"
expect_eq "silent apply: the log holds the neighbour's window libraries" \
  "$(grep -ci 'Loaded L"[^"]*\\user32\.dll"' "$plain/quiet.log" | awk '{ print ($1 > 0) }')" 1
expect_eq "silent apply: the loader log names advapi32 once" "$(own_loads "$plain/quiet.log" |
  grep -cx advapi32.dll)" 1
expect_eq "silent apply: no window library loaded" "$(own_loads "$plain/quiet.log" |
  grep -E "$window_libraries" | tr '\n' ' ')" ""
neighbour "$plain/box.log"
WINEDEBUG=+pid,+loaddll wine "$plain/morvane-sim.exe" "$(winpath "$plain")\\missing.mvn" \
  >/dev/null 2>>"$plain/box.log" &
boxed=$!
out=$(drive box 60)
wait "$boxed"
wait "$neighbour_pid"
expect_eq "silent apply with a box: the box shows" "$out" \
  "box Morvane|Unable to load register file \"$(winpath "$plain")\\missing.mvn\""
expect_eq "silent apply with a box: user32 and gdi32 loaded for it" "$(own_loads "$plain/box.log" |
  grep -E '^(user32|gdi32)\.dll$' | sort | tr '\n' ' ')" "gdi32.dll user32.dll "
rm -rf "$plain"
