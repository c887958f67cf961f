# Sourced by the benchmark scripts: keeps one Wine session (and the loaded driver) alive while
# they time programs, through mvn_bench_launch's hold, and ends it with the script.
# The first Wine process of a session starts the service manager: the hold, not a timed one.
mvn_bench_hold() {  # launcher seconds
  mvn_bench_launch=$1
  wine "$mvn_bench_launch" hold "$2" >/dev/null 2>&1 &
  mvn_bench_hold_pid=$!
  trap mvn_bench_release EXIT
}

mvn_bench_release() {
  wine "$mvn_bench_launch" release >/dev/null 2>&1 || true
  wait "$mvn_bench_hold_pid" 2>/dev/null || true
  [ -n "${MVN_XVFB_PID:-}" ] && kill "$MVN_XVFB_PID" 2>/dev/null
  true
}
