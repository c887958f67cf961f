#!/usr/bin/env bash
# Builds the fuzz targets with clang (a build folder of their own) and runs each one for a
# bounded time from its seed corpus; fails when any target reports a finding.
# Usage: tests/fuzz/run.sh [build-folder] [seconds-per-target]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/fuzz}
seconds=${2:-60}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMVN_FUZZ=ON >/dev/null
cmake --build "$build" -j 2 --target fuzzers

status=0
for target in Ini RegisterFile CommandTail; do
  work="$build/fuzz-run/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  # The seeds are copied: libFuzzer adds what it finds to the first corpus folder.
  cp "$root/tests/fuzz/corpus/$target/"* "$work/corpus/"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=1024 \
      -artifact_prefix="$work/findings/" "$work/corpus" >"$work/log" 2>&1; then
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  findings=$(find "$work/findings" -type f | wc -l)
  echo "fuzz $target: ${runs:-?} executions, $findings findings (log: $work/log)"
  [ "$findings" -eq 0 ] || status=1
done
exit $status
