#!/usr/bin/env bash
# Builds everything (native and MinGW-w64 i686) and runs every test: the unit tests natively
# and under Wine, the Wine tests of the packed programs and the driver, and bounded fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
export MVN_BUILD="$root/build"
source scripts/wine-env.sh
jobs=$(nproc)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"

cmake -S . -B build/mingw -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DMVN_HOST_TOOLS="$root/build/native/tools" >/dev/null
cmake --build build/mingw -j "$jobs"

# Every ctest entry that starts Wine has "wine" in its name. Where this machine cannot run
# 32-bit x86 programs, Wine cannot run ours: those entries are skipped and counted as such.
wine_filter=() skipped=0
if mvn_runs_i386; then
  mvn_wine_prepare "$MVN_WINE64_PREFIX" win64
  mvn_wine_prepare "$MVN_WINE32_PREFIX" win32
  mvn_xvfb_start
  trap '[ -n "${MVN_XVFB_PID:-}" ] && kill $MVN_XVFB_PID 2>/dev/null; true' EXIT
else
  wine_filter=(-E wine)
  skipped=$(ctest --test-dir build/mingw -N -R wine | grep -c "Test *#" || true)
  echo "== this machine cannot run 32-bit x86 programs (the kernel refuses them), so Wine"
  echo "   cannot run the i686 programs: skipping the $skipped Wine tests of the MinGW build"
fi

status=0
echo "== native tests"
ctest --test-dir build/native --output-on-failure 2>&1 | tee build/ctest-native.log || status=1
# The unit tests' hardware fault campaign leaves its one summary line behind.
cat build/native/fault-campaign.txt 2>/dev/null || { echo "Fault campaign: no result" >&2; status=1; }
echo "== MinGW build: unit tests under Wine and Wine tests"
WINEPREFIX="$MVN_WINE64_PREFIX" ctest --test-dir build/mingw --output-on-failure \
  "${wine_filter[@]}" 2>&1 | tee build/ctest-mingw.log || status=1
echo "== fuzzing (libFuzzer with AddressSanitizer and UBSan, bounded)"
fuzz_failed=0
tests/fuzz/run.sh "$root/build/fuzz" "${MVN_FUZZ_SECONDS:-60}" || { status=1; fuzz_failed=1; }

# One closing line over every ctest test and the fuzz run.
total=0 failed=0
for log in build/ctest-native.log build/ctest-mingw.log; do
  line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then status=1; failed=$((failed + 1)); continue; fi
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  total=$((total + t)) failed=$((failed + f))
done
total=$((total + 1)) failed=$((failed + fuzz_failed))
[ "$failed" -eq 0 ] || status=1
if [ "$skipped" -gt 0 ]; then
  echo "Summary: $((total - failed)) passed, $failed failed, $skipped skipped"
else
  echo "Summary: $((total - failed)) passed, $failed failed"
fi
exit $status
