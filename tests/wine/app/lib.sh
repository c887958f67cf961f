# Shared steps of the program's Wine tests: a fresh folder holding the simulated build, a
# Wine session kept alive across the steps (the driver and its simulated chip live only as
# long as the session), a driver service installed afresh by the program itself, and checks.
#
# Expects MVN_PROGRAM (morvane-sim.exe), MVN_DRIVE (mvn_app_drive.exe), MVN_WORK (a folder of
# its own) and MVN_SOURCE (the source tree); the prefix is WINEPREFIX or MVN_WINE64_PREFIX.
set -uo pipefail  # every check runs; failures are counted and reported at the end

: "${MVN_PROGRAM:?}" "${MVN_DRIVE:?}" "${MVN_WORK:?}" "${MVN_SOURCE:?}"
# The 64-bit prefix of the test run, else the build folder's own (MVN_FALLBACK_PREFIX).
prefix=${WINEPREFIX:-${MVN_WINE64_PREFIX:-${MVN_FALLBACK_PREFIX:?}}}
source "$MVN_SOURCE/scripts/wine-env.sh"
export WINEPREFIX="$prefix"
mvn_wine_prepare "$WINEPREFIX" win64

failures=0
hold_pid=""

# The Windows name of a Linux path: C: for the prefix's own drive, Z: (the root) for the rest.
winpath() {
  case $1 in
    "$WINEPREFIX/drive_c"/*)
      local rest=${1#"$WINEPREFIX/drive_c/"}
      printf 'C:\\%s' "${rest//\//\\}"
      ;;
    *) printf 'Z:%s' "${1//\//\\}" ;;
  esac
}

# Runs the drive program and prints its result. Through a file, not a pipe: under Wine a
# program it starts inherits its output and would hold a pipe open for as long as it runs.
drive() {
  local result="$MVN_WORK.out"
  wine "$MVN_DRIVE" "$@" >"$result" 2>/dev/null
  local status=$?
  tr -d '\r' <"$result"
  return $status
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expect_eq() {  # what actual expected
  if [ "$2" != "$3" ]; then
    fail "$1"
    echo "  expected: $3"
    echo "  actual:   $2"
  else
    echo "ok: $1"
  fi
}

# A register file with CR LF line ends, from the lines given.
write_mvn() {  # path lines...
  local path=$1
  shift
  printf '%s\r\n' "$@" >"$path"
}

# The value of one register in the output of "drive chip" or "drive poweron".
reg_of() {  # listing name
  awk -v n="$2" '$1 == n { print $2 }' <<<"$1"
}

# A register value with one field replaced: (value & ~(mask << shift)) | (code << shift).
with_field() {  # hexvalue shift width code
  local v=$((16#$1)) mask=$(((1 << $3) - 1))
  printf '%08X' $(((v & ~(mask << $2)) | (($4 & mask) << $2)))
}

# One process of ours holds the session open for the whole test. The test goes on only once
# the hold's event exists, so that the release at its end cannot come first.
start_hold() {
  local ready="$MVN_WORK.held" waited=0
  rm -f "$ready"
  wine "$MVN_DRIVE" hold 900 "$(winpath "$ready")" >/dev/null 2>&1 &
  hold_pid=$!
  until [ -e "$ready" ]; do
    if ! kill -0 "$hold_pid" 2>/dev/null || [ "$waited" -ge 600 ]; then
      fail "the Wine session's hold did not start within 60 s"
      exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# The computer switched off and on: every process of the session ends at once (the watch of an
# apply, the driver and its simulated chip with them) and the volatile registry keys go; the
# files stay. A new session, held as before, is the next boot.
power_cycle() {
  WINEPREFIX="$WINEPREFIX" wineserver -k 9 2>/dev/null || true
  wait "$hold_pid" 2>/dev/null || true
  WINEPREFIX="$WINEPREFIX" wineserver -w
  rm -f "$MVN_WORK.held"
  start_hold
}

begin() {  # test name
  # The program and its files lie on the prefix's drive C:, in folders only this user may
  # change: Wine derives each folder's access list from its Unix permissions, and the program
  # refuses to register or apply from a place others can change. Under the build folder the
  # verdict would depend on where the tree was cloned (below /tmp every parent is writable by
  # everyone).
  umask 022
  chmod go-w "$WINEPREFIX/drive_c"
  work="$WINEPREFIX/drive_c/mvn-tests/$(basename "$MVN_WORK")"
  rm -rf "$work"
  mkdir -p "$work/Morvane Test" "$work/elsewhere"
  chmod 755 "$WINEPREFIX/drive_c/mvn-tests" "$work"
  mkdir -p "$(dirname "$MVN_WORK")"  # the drive program's results and the hold's event
  prog_dir="$work/Morvane Test"
  cp "$MVN_PROGRAM" "$prog_dir/morvane-sim.exe"
  wdir=$(winpath "$prog_dir")
  wprog="$wdir\\morvane-sim.exe"
  mvn_xvfb_start
  trap finish EXIT
  start_hold
  # The program installs its driver itself, so the chip starts from its power-on state.
  drive uninstall >/dev/null || true
  drive reg-delete >/dev/null || true
  echo "== $1 in $work (prefix $WINEPREFIX)"
}

finish() {
  local status=$?
  drive uninstall >/dev/null 2>&1 || true
  drive reg-delete >/dev/null 2>&1 || true
  if [ -n "$hold_pid" ]; then
    # Released, the hold ends at once: it never runs out its own bound.
    drive release 30 >/dev/null 2>&1 || fail "the Wine session's hold could not be released"
    local waited=0
    while kill -0 "$hold_pid" 2>/dev/null; do
      if [ "$waited" -ge 300 ]; then
        fail "the Wine session's hold did not end within 30 s of its release"
        kill -9 "$hold_pid" 2>/dev/null || true
        break
      fi
      sleep 0.1
      waited=$((waited + 1))
    done
    wait "$hold_pid" 2>/dev/null || true
    rm -f "$MVN_WORK.held"
  fi
  # The watch of an apply outlives its apply by 5 minutes: ended with the session, so that it
  # keeps no server (and no driver) alive into the next test.
  WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
  WINEPREFIX="$WINEPREFIX" wineserver -w 2>/dev/null || true
  if [ -n "${MVN_XVFB_PID:-}" ]; then kill "$MVN_XVFB_PID" 2>/dev/null || true; fi
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  exit "$status"
}
