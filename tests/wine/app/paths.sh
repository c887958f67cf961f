#!/usr/bin/env bash
# Silent apply with awkward paths, through the real Windows file calls: the command tail is the
# register file's path taken whole. Full paths of 259 characters apply and of 260 or 300 give
# the error box, also when the file exists (Linux has no such limit) and when a short relative
# tail has a long full form; blanks apply unquoted; a quoted path or a name holding a double
# quote gives the box. Non-ASCII bytes of the tail are the ANSI code page's (1252): Wine maps
# them to Unicode and stores the name in the Unix locale's encoding, so é (0xE9) is the Unix
# name "é" (C3 A9), and the bytes C3 A9 in a tail are the two characters "Ã©", another file.
# Every box writes nothing; the exit code is 0 throughout.
#
# Under the C locale Wine can represent no non-ASCII name (calls fail with error 2, and the
# Unix command line loses the high bits), so the script runs under a UTF-8 locale; the
# arguments handed to the drive program are UTF-8 and reach it as their CP1252 bytes.
export LC_ALL=C.UTF-8
source "$(dirname "$0")/lib.sh"
begin "paths"

wwork=$(winpath "$work")

# A register file naming three fields: Tcl and Trc (DRAM Timing Low), ReqBufCnt (LINK).
write_set() {  # unix-path tcl trc reqbufcnt
  write_mvn "$1" "[DRAM]" "Tcl=$2" "Trc=$3" "[LINK]" "ReqBufCnt=$4"
}

# The listing of "drive chip" with the three fields of write_set replaced.
with_set() {  # listing tcl trc reqbufcnt
  local f288 f090
  f288=$(with_field "$(reg_of "$1" F2x88)" 0 3 "$2")
  f288=$(with_field "$f288" 4 4 "$3")
  f090=$(with_field "$(reg_of "$1" F0x90)" 0 4 "$4")
  awk -v a="$f288" -v b="$f090" '$1 == "F2x88" { $2 = a } $1 == "F0x90" { $2 = b } { print }' \
    <<<"$1"
}

# The chip as the last step left it; the program installs the driver afresh at its first run.
chip=$(drive poweron)

expect_applied() {  # label tail tcl trc reqbufcnt
  local out
  out=$(drive run 60 "\"$wprog\" $2")
  expect_eq "$1: applied, no message, exit 0" "$out" "exit 0"
  local expected
  expected=$(with_set "$chip" "$3" "$4" "$5")
  chip=$(drive chip)
  expect_eq "$1: the file's fields in the chip" "$chip" "$expected"
}

expect_box() {  # label tail
  local out before=$chip
  out=$(drive run 60 "\"$wprog\" $2")
  expect_eq "$1: error box with the tail, exit 0" "$out" \
    "box Morvane|Unable to load register file \"$2\"
exit 0"
  chip=$(drive chip)
  expect_eq "$1: nothing written" "$chip" "$before"
}

# --- Lengths. A folder whose Windows name has 150 characters holds the long names, so that
# each stays under the 255 bytes of a Unix name.
deep_length=$((150 - ${#wwork} - 1))
if [ "$deep_length" -lt 1 ]; then
  fail "the work folder's name is too long for the length cases: $wwork"
  exit 1
fi
deep_name=$(printf 'd%.0s' $(seq "$deep_length"))
deep="$work/$deep_name"
wdeep="$wwork\\$deep_name"
mkdir -p "$deep"

# A file name in the deep folder whose full Windows path has `length` characters.
long_name() {  # length letter
  printf "$2%.0s" $(seq $(($1 - ${#wdeep} - 1 - 4)))
  printf '.mvn'
}

name=$(long_name 259 a)
write_set "$deep/$name" 1 3 4
expect_eq "259-character full path" "$((${#wdeep} + 1 + ${#name}))" 259
expect_applied "259-character full path" "$wdeep\\$name" 1 3 4

for length in 260 300; do
  name=$(long_name "$length" b)
  write_set "$deep/$name" 5 7 6  # exists, and would change the chip
  expect_eq "$length-character full path" "$((${#wdeep} + 1 + ${#name}))" "$length"
  expect_box "$length-character full path, the file present" "$wdeep\\$name"
done

# Relative to the program's folder, its current directory: the full form counts.
name=$(long_name 259 e)
write_set "$deep/$name" 2 9 5
expect_applied "relative tail with a 259-character full form" "..\\$deep_name\\$name" 2 9 5
name=$(long_name 260 f)
write_set "$deep/$name" 6 1 2
expect_box "relative tail of $((3 + ${#deep_name} + 1 + ${#name})) characters, full form 260" \
  "..\\$deep_name\\$name"

# --- Blanks: unquoted they are part of the path; quoted, the quotes are too.
mkdir -p "$work/My  Settings"
write_set "$work/My  Settings/fast timings 2.mvn" 3 5 7
expect_applied "blanks in folder and file name, unquoted" \
  "$wwork\\My  Settings\\fast timings 2.mvn" 3 5 7
write_set "$work/My  Settings/fast timings 2.mvn" 4 6 1
expect_box "blanks, quoted" "\"$wwork\\My  Settings\\fast timings 2.mvn\""

# --- Bytes above ASCII (the tails below are UTF-8 here and CP1252 in the program).
mkdir -p "$work/Réglages"
write_set "$work/Réglages/mémoire » rapide.mvn" 6 2 3
expect_applied "CP1252 é and » in folder and file name" \
  "$wwork\\Réglages\\mémoire » rapide.mvn" 6 2 3
# The same letters as one file, and the UTF-8 bytes of é read as CP1252 ("Ã©") as another.
write_set "$work/Réglages/été.mvn" 7 4 2
write_set "$work/Réglages/Ã©tÃ©.mvn" 2 8 6
expect_applied "tail bytes E9 74 E9 name the Unix file \"été\"" "$wwork\\Réglages\\été.mvn" 7 4 2
expect_applied "tail bytes C3 A9 74 C3 A9 name the Unix file \"Ã©tÃ©\"" \
  "$wwork\\Réglages\\Ã©tÃ©.mvn" 2 8 6
expect_box "missing non-ASCII name: the box shows it as given" "$wwork\\Réglages\\absent é.mvn"

# --- A double quote inside a name: Windows forbids it, although Linux holds such a file.
write_set "$work/a\"b.mvn" 5 11 9
expect_box "double quote inside the name, the Unix file present" "$wwork\\a\"b.mvn"
