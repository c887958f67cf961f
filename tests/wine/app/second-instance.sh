#!/usr/bin/env bash
# A second instance, started while the windowed program runs, ends at once with exit code 0
# and applies nothing; the first one keeps running and ends from File, Exit.
source "$(dirname "$0")/lib.sh"
begin "second instance"

out=$(drive start 90 "\"$wprog\"")
expect_eq "first instance shows its window" "${out%% *}" "window"
before=$(drive chip)
write_mvn "$prog_dir/apply.mvn" "[DRAM]" "Tcl=2" "[LINK]" "ReqBufCnt=3"

started=$(date +%s)
out=$(drive run 30 "\"$wprog\" $wdir\\apply.mvn")
took=$(($(date +%s) - started))
expect_eq "second instance ends with exit code 0 and shows nothing" "$out" "exit 0"
if [ "$took" -gt 10 ]; then fail "second instance took ${took}s to end"; fi
expect_eq "second instance applied nothing" "$(drive chip)" "$before"

out=$(drive exit)
expect_eq "first instance ends from File, Exit" "$out" "exit 0"
