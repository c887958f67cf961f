#!/bin/sh
# Kills a process that saves register files in a loop, many times at random moments, and
# checks after each kill that the file holds one complete state a save may leave: never a mix
# of two, never a torn or empty file (a kill between the two steps of a replace leaves the new
# file complete beside, which the next load puts in place). The process runs under Wine
# through the real os layer.
# usage: crash-test.sh WINE-RUN SAVELOOP.EXE FALLBACK-PREFIX whole|pair [KILLS]
set -eu
wine_run=$1 program=$2 fallback=$3 mode=$4 kills=${5:-40}
work=$(mktemp -d /tmp/mvn-crash.XXXXXX)
trap 'rm -rf "$work"' EXIT
folder="Z:$(printf '%s' "$work" | tr / '\\')"

# One server for all the runs, so that each start is quick; one still running for the test
# before ends first (a second server for the prefix would refuse to start).
sh "$wine_run" 64 "$fallback" wineserver -w
sh "$wine_run" 64 "$fallback" wineserver -p5
sh "$wine_run" 64 "$fallback" "$program" prepare "$folder"

# Starts the saver and waits until it has saved once. A saver that dies before its program
# runs, or by a Unix signal nobody here sent, is Wine failing to run a process (seen once in
# some thousands of starts right after a kill), not a save going wrong: it is started
# again, at most three times in a test, and reported. Any other end fails the test.
restarts=0
start_saver() {
  while :; do
    rm -f "$work/running" "$work/started"
    WINEDEBUG=-all,err+all sh "$wine_run" 64 "$fallback" "$program" save "$folder" "$mode" \
      2>"$work/saver.err" &
    pid=$!
    waited=0
    while [ ! -e "$work/running" ]; do
      if ! kill -0 "$pid" 2>/dev/null; then
        status=0
        wait "$pid" || status=$?
        if { [ ! -e "$work/started" ] || [ "$status" -gt 128 ]; } && [ "$restarts" -lt 3 ] &&
          ! grep -q '^SaveLoop:' "$work/saver.err"; then
          restarts=$((restarts + 1))
          echo "round $round: Wine ended the saver before it saved (exit status $status)," \
            "started again; Wine said:" >&2
          cat "$work/saver.err" >&2
          continue 2
        fi
        echo "round $round: the saver stopped by itself (exit status $status)" >&2
        cat "$work/saver.err" >&2
        exit 1
      fi
      waited=$((waited + 1))
      [ "$waited" -lt 600 ] || { echo "round $round: the saver never started" >&2; kill -9 "$pid"; exit 1; }
      sleep 0.05
    done
    return
  done
}

mid_save=0
between=0
for round in $(seq "$kills"); do
  start_saver
  # A random moment within the next 0.25 s, then no chance to clean up.
  sleep "0.$(printf '%03d' $(( $(od -An -N2 -tu2 /dev/urandom) % 250 )))"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true

  # Killed between the two steps of a replace: the new file waits complete under its own
  # name, and the next run's first read of the file puts it in place.
  if [ ! -e "$work/target.mvn" ] && [ -e "$work/target.mvn.saved" ]; then
    between=$((between + 1))
    sh "$wine_run" 64 "$fallback" "$program" load "$folder" ||
      { echo "round $round: the interrupted replace was not finished" >&2; exit 1; }
  fi
  [ -s "$work/target.mvn" ] || { echo "round $round: the file is missing or empty" >&2; exit 1; }
  match=
  candidates="expect-a.mvn expect-b.mvn"
  [ "$mode" = pair ] && candidates="$candidates expect-a-dram.mvn expect-b-dram-a-link.mvn expect-a-dram-b-link.mvn"
  for candidate in $candidates; do
    if cmp -s "$work/target.mvn" "$work/$candidate"; then match=$candidate; fi
  done
  if [ -z "$match" ]; then
    cp "$work/target.mvn" "/tmp/mvn-crash-round-$round.mvn"
    echo "round $round: the file is no state a save leaves (kept as /tmp/mvn-crash-round-$round.mvn)" >&2
    exit 1
  fi
  [ -e "$work/target.mvn.saving" ] && mid_save=$((mid_save + 1))
done
echo "crash test ($mode): $kills kills, every file complete; $mid_save kills fell inside a save," \
  "$between between the two steps of a replace (finished by the next load);" \
  "$restarts saver starts repeated"
