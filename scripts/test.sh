#!/usr/bin/env bash
# Builds everything (native, and MinGW-w64 for i686 and x86_64) and runs every test: the unit
# tests natively and under Wine, the Wine tests of the packed programs and the driver, and
# bounded fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
export MVN_BUILD="$root/build"
source scripts/wine-env.sh
jobs=$(nproc)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"

# The Windows programs in both widths: i686 (morvane.exe, the product for 32-bit Windows and the
# 9x family) and x86_64 (morvane64.exe).
for width in i686 x86_64; do
  dir=build/mingw
  [ "$width" = i686 ] || dir=build/mingw64
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$width.cmake" \
    -DMVN_HOST_TOOLS="$root/build/native/tools" >/dev/null
  cmake --build "$dir" -j "$jobs"
done

# Every ctest entry that starts Wine has "wine" in its name. The x86_64 build's run under 64-bit
# Wine on every machine. The i686 build's need a machine that runs 32-bit x86 programs itself
# (and the 32-bit Wine); elsewhere the x86_64 build's entries, the same tests on the same tree,
# carry the Wine proof, and the i686 build runs every test that needs no Wine.
mvn_wine_prepare "$MVN_WINE64_PREFIX" win64
i686_filter=()
if mvn_wine_runs_i686; then
  mvn_wine_prepare "$MVN_WINE32_PREFIX" win32
else
  i686_filter=(-E wine)
  echo "== this machine does not run 32-bit x86 programs: the i686 build runs its tests that need"
  echo "   no Wine; every Wine test runs on the x86_64 programs under 64-bit Wine"
fi
mvn_xvfb_start
trap '[ -n "${MVN_XVFB_PID:-}" ] && kill $MVN_XVFB_PID 2>/dev/null; true' EXIT

status=0
echo "== native tests"
ctest --test-dir build/native --output-on-failure 2>&1 | tee build/ctest-native.log || status=1
# The unit tests' hardware fault campaign leaves its one summary line behind.
cat build/native/fault-campaign.txt 2>/dev/null || { echo "Fault campaign: no result" >&2; status=1; }
echo "== i686 build (morvane.exe)"
WINEPREFIX="$MVN_WINE64_PREFIX" ctest --test-dir build/mingw --output-on-failure \
  "${i686_filter[@]}" 2>&1 | tee build/ctest-mingw.log || status=1
echo "== x86_64 build (morvane64.exe): unit tests under Wine and every Wine test"
WINEPREFIX="$MVN_WINE64_PREFIX" ctest --test-dir build/mingw64 --output-on-failure \
  2>&1 | tee build/ctest-mingw64.log || status=1
echo "== fuzzing (libFuzzer with AddressSanitizer and UBSan, bounded)"
fuzz_failed=0
tests/fuzz/run.sh "$root/build/fuzz" "${MVN_FUZZ_SECONDS:-60}" || { status=1; fuzz_failed=1; }

# One closing line over every ctest test and the fuzz run.
total=0 failed=0
for log in build/ctest-native.log build/ctest-mingw.log build/ctest-mingw64.log; do
  line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then status=1; failed=$((failed + 1)); continue; fi
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  total=$((total + t)) failed=$((failed + f))
done
total=$((total + 1)) failed=$((failed + fuzz_failed))
[ "$failed" -eq 0 ] || status=1
wine_run=$(cat build/ctest-mingw.log build/ctest-mingw64.log | grep -cE "Test +#[0-9]+: [^ ]*wine" ||
  true)
echo "Wine tests run on this machine: $wine_run"
echo "Summary: $((total - failed)) passed, $failed failed"
exit $status
